#include "imaging/core/ie_dialog_texts.h"

#include <initializer_list>
#include <utility>

namespace {

const char16_t* const kEnglish[IEWordCount] = {
    u"Preview",  // dtPreview
    u"Original",  // dtOriginal
    u"Result",  // dtResult
    u"OK",  // dtOK
    u"Cancel",  // dtCancel
    u"Lock preview",  // dtLockPreview
    u"Copy Result to Original",  // dtCopyResultToOriginal
    u"Contrast",  // dtContrast
    u"Brightness",  // dtBrightness
    u"Hue",  // dtHue
    u"Saturation",  // dtSaturation
    u"Value",  // dtValue
    u"Base color",  // dtBaseColor
    u"New color",  // dtNewColor
    u"Luminosity",  // dtLuminosity
    u"Red",  // dtRed
    u"Green",  // dtGreen
    u"Blue",  // dtBlue
    u"Filter values",  // dtFilterValues
    u"Presets",  // dtPresets
    u"Divisor",  // dtDivisor
    u"Load",  // dtLoad
    u"Save",  // dtSave
    u"Equalization",  // dtEqualization
    u"Threshold",  // dtThreshold
    u"Equalize",  // dtEqualize
    u"Histogram",  // dtHistogram
    u"Gray",  // dtGray
    u"Light",  // dtLight
    u"Left",  // dtLeft
    u"Top",  // dtTop
    u"Width",  // dtWidth
    u"Height",  // dtHeight
    u"Color",  // dtColor
    u"Original image quantity",  // dtOriginalImageQuantity
    u"Lens",  // dtLens
    u"Refraction",  // dtRefraction
    u"Parameters Preview",  // dtParametersPreview
    u"Quality",  // dtQuality
    u"DCT method",  // dtDCTMethod
    u"Smoothing factor",  // dtSmoothingFactor
    u"Gray scale",  // dtGrayScale
    u"Optimal Huffman",  // dtOptimalHuffman
    u"Original size",  // dtOriginalSize
    u"Compressed size",  // dtCompressedSize
    u"Advanced",  // dtAdvanced
    u"Progressive",  // dtProgressive
    u"Compression",  // dtCompression
    u"Image index",  // dtImageIndex
    u"Photometric",  // dtPhotometric
    u"Scanned document info",  // dtScannedDocumentInfo
    u"Name",  // dtName
    u"Description",  // dtDescription
    u"Page name",  // dtPageName
    u"Page number",  // dtPageNumber
    u"of",  // dtOf
    u"Horiz. Position (inch)",  // dtHorizPositionInch
    u"Vert. Position (inch)",  // dtVertPositionInch
    u"Colors",  // dtColors
    u"Transparent",  // dtTransparent
    u"Transparent color",  // dtTransparentColor
    u"Interlaced",  // dtInterlaced
    u"Background",  // dtBackground
    u"Horiz. Position",  // dtHorizPosition
    u"Vert. Position",  // dtVertPosition
    u"Delay time",  // dtDelayTime
    u"Filter",  // dtFilter
    u"Wave",  // dtWave
    u"Amplitude",  // dtAmplitude
    u"Wave length",  // dtWaveLength
    u"Phase",  // dtPhase
    u"Reflective",  // dtReflective
    u"User filter",  // dtUserFilter
    u"Morphing filters",  // dtMorphingFilters
    u"Window size",  // dtWindowSize
    u"Maximum",  // dtMaximum
    u"Minimum",  // dtMinimum
    u"Opening",  // dtOpening
    u"Closing",  // dtClosing
    u"Rotate",  // dtRotate
    u"Flip",  // dtFlip
    u"Horizontal",  // dtHorizontal
    u"Vertical",  // dtVertical
    u"Frequency domain image",  // dtFrequencyDomainImage
    u"Select the region to clean",  // dtSelectRegionToClean
    u"Clear",  // dtClear
    u"Reset",  // dtReset
    u"Animate",  // dtAnimate
    u"Load filter",  // dtLoadFilter
    u"Save filter",  // dtSaveFilter
    u"Bump map",  // dtBumpMap
    u"Print",  // dtPrint
    u"Margins",  // dtMargins
    u"inches",  // dtInches
    u"Right",  // dtRight
    u"Bottom",  // dtBottom
    u"Position",  // dtPosition
    u"Size",  // dtSize
    u"Normal",  // dtNormal
    u"Fit to page",  // dtFitToPage
    u"Stretch to page",  // dtStretchToPage
    u"Specified size",  // dtSpecifiedSize
    u"Gamma correction",  // dtGammaCorrection
    u"Value",  // dtValue2
    u"Print Setup",  // dtPrintSetup
    u"Left Margin",  // dtLeftMargin
    u"Top Margin",  // dtTopMargin
    u"Right Margin",  // dtRightMargin
    u"Bottom Margin",  // dtBottomMargin
    u"Location/size",  // dtLocationSize
    u"Top Left",  // dtTopLeft
    u"Top Center",  // dtTopCenter
    u"Top Right",  // dtTopRight
    u"Center Left",  // dtCenterLeft
    u"Center",  // dtCenter
    u"Center Right",  // dtCenterRight
    u"Bottom Left",  // dtBottomLeft
    u"Bottom Center",  // dtBottomCenter
    u"Bottom Right",  // dtBottomRight
    u"Close",  // dtClose
    u"Apply",  // dtApply
    u"Measure Units",  // dtMeasureUnits
    u"Units",  // dtUnits
    u"Rate",  // dtRate
    u"All graphics",  // dtAllGraphics
    u"Video for Windows",  // dtVideoForWindows
    u"File",  // dtFile
    u"Mem",  // dtMem
    u"Automatically updates your preview with the changes you have selected",  // dtLockPreviewHint
    u"Print All",  // dtPrintAll
    u"Print Selected",  // dtPrintSelected
    u"Common Graphic Files",  // dtCommonGraphicFiles
    u"All Files",  // dtAllFiles
    u"HSV",  // dtHSV
    u"HSL",  // dtHSL
    u"RGB",  // dtRGB
    u"FFT",  // dtFFT
    u"Sharpen",  // dtSharpen
    u"Channels",  // dtChannels
    u"pixel",  // dtPixel
    u"frames",  // dtFrames
    u"bit",  // dtBit
    u"byte",  // dtByte
    u"dpi",  // dtDpi
    u"KB",  // dtKB
    u"Fit",  // dtFit
};

using TTranslation = std::pair<Byte, const char16_t*>;

// Only a few words are translated so far. A row keeps the English word wherever it has no word
// of its own, so a dialog that follows the system language never shows an empty caption
// (that path has no fallback of its own).
void FillRow(TMsgLanguage Language, std::initializer_list<TTranslation> Words, Integer SkippedId = -1) {
  for (Integer id = 0; id < IEWordCount; ++id) {
    if (id == SkippedId) continue;
    const char16_t* text = kEnglish[id];
    for (const TTranslation& word : Words)
      if (word.first == id) text = word.second;
    IESetLanguageText(Language, static_cast<Byte>(id), text);
  }
}

}  // namespace

void IEInitTextsEnglish() { FillRow(msEnglish, {}); }
void IEInitTextsItalian() { FillRow(msItalian, {}); }
void IEInitTextsGerman() {
  FillRow(msGerman, {{dtPreview, u"Vorschau"}, {dtCancel, u"Abbrechen"}, {dtParametersPreview, u"Parameter-Vorschau"},
                     {dtApply, u"Anwenden"}});
}
void IEInitTextsSpanish() { FillRow(msSpanish, {}); }
void IEInitTextsFrench() { FillRow(msFrench, {}); }
void IEInitTextsPortuguese() { FillRow(msPortuguese, {}); }
void IEInitTextsGreek() { FillRow(msGreek, {}); }
void IEInitTextsRussian() { FillRow(msRussian, {}); }
void IEInitTextsDutch() {
  FillRow(msDutch, {{dtPreview, u"Voorbeeld"}, {dtCancel, u"Annuleren"}, {dtParametersPreview, u"Parameters Voorbeeld"},
                    {dtApply, u"Toepassen"}});
}
void IEInitTextsSwedish() {
  FillRow(msSwedish, {{dtPreview, u"Granska"}, {dtCancel, u"Avbryt"}, {dtParametersPreview, u"Granskningsparameter"},
                      {dtApply, u"Applicera"}, {dtRate, u"Proportion"}});
}
// The Polish row has no word for the rate.
void IEInitTextsPolish() { FillRow(msPolish, {}, dtRate); }
void IEInitTextsJapanese() { FillRow(msJapanese, {}); }
void IEInitTextsCzech() { FillRow(msCzech, {}); }
void IEInitTextsFinnish() { FillRow(msFinnish, {}); }
void IEInitTextsFarsi() { FillRow(msFarsi, {}); }
void IEInitTextsChinese() {
  FillRow(msChinese, {{dtPreview, u"预览"}, {dtOK, u"确定"}, {dtCancel, u"取消"}, {dtParametersPreview, u"参数预览"},
                      {dtApply, u"应用"}, {dtRate, u"比率"}});
}
void IEInitTextsChineseTraditional() {
  FillRow(msChineseTraditional, {{dtPreview, u"預覽"}, {dtOK, u"確定"}, {dtCancel, u"取消"},
                                 {dtParametersPreview, u"參數預覽"}, {dtApply, u"應用"}, {dtRate, u"比率"}});
}
void IEInitTextsDanish() { FillRow(msDanish, {}); }
void IEInitTextsTurkish() { FillRow(msTurkish, {}); }
void IEInitTextsKorean() { FillRow(msKorean, {}); }

void IEInitLanguageTexts() {
  IEInitTextsEnglish();
  IEInitTextsItalian();
  IEInitTextsGerman();
  IEInitTextsSpanish();
  IEInitTextsFrench();
  IEInitTextsPortuguese();
  IEInitTextsGreek();
  IEInitTextsRussian();
  IEInitTextsDutch();
  IEInitTextsSwedish();
  IEInitTextsPolish();
  IEInitTextsJapanese();
  IEInitTextsCzech();
  IEInitTextsFinnish();
  IEInitTextsFarsi();
  IEInitTextsChinese();
  IEInitTextsChineseTraditional();
  IEInitTextsDanish();
  IEInitTextsTurkish();
  IEInitTextsKorean();
}

void IEFreeLanguageTexts() {
  for (auto& row : IEWordTable)
    for (WideString& text : row) WideString().swap(text);
}
