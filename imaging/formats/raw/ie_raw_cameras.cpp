// The camera table: what only the camera model decides (active area, data position, filter
// pattern, colours, decoder, channel multipliers, black and white levels). One row per camera,
// tried in order; the first that matches applies. Rows whose settings depend on the file as well
// name a special step that runs after the row's plain settings.
#include <cstring>
#include <strings.h>

#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/raw/ie_raw_decoders.h"

namespace {

enum class TKey {
  Model,           // model, exactly
  ModelPrefix,     // model begins with the text
  ModelContains,   // model contains the text
  ModelWild,       // model, '$' standing for any one character
  ModelNoCase,     // model, without regard to case
  ExtraPrefix,     // second model begins with the text
  Make,            // make, exactly
  MakeNoCase,      // make, without regard to case
  CanonRawWidth,   // make "Canon" and the stored width
};

enum class TSpecial {
  None,
  CanonG1,         // the G1 keeps the default pattern and has multipliers of its own
  CanonG2,         // G2 and S40 multipliers
  CanonKiss,       // EOS Kiss Digital multipliers
  LessMargins,     // active size = stored frame less its margins
  D100,            // wider rows with the plain 12-bit coding
  E990,            // E990 or, by its data, E995
  E2100,           // E2100 or, by its data, E2500
  E4300,           // a Minolta DiMAGE Z2 when the file's tail is not blank
  Konica,          // Konica block, balance at the row's position
  Minolta,         // the DiMAGE rows
  PhaseOne,        // by stored height
  Sinar,           // only with the Photoshop-like head
  Leaf,            // pattern by orientation
  Rollei,          // by stored width
  Sigma,           // Foveon sensors
  Kodak,           // the Kodak rows
};

constexpr Integer kKeep = -1;
constexpr Int64 kKeepFilters = -1;

struct TCameraRow {
  TKey Key;
  const char* Text;
  Integer Number = 0;  // the stored width of CanonRawWidth rows; the balance position of Konica rows
  Integer Height = kKeep, Width = kKeep;
  Integer RawHeight = kKeep, RawWidth = kKeep;
  Integer Top = kKeep, Left = kKeep, Offset = kKeep;
  Int64 Filters = kKeepFilters;
  Integer Colors = kKeep;
  TIERawLoadProc Load = nullptr;
  float Wb[4] = {0, 0, 0, 0};  // 0: not listed
  Integer Black = kKeep, Saturation = kKeep;
  TSpecial Special = TSpecial::None;
  bool NotKodak = false;  // tested only for makes other than Kodak
};

using K = TKey;
using X = TSpecial;

const TCameraRow kCameras[] = {
    {.Key = K::Model, .Text = "PowerShot 600", .Height = 613, .Width = 854, .Filters = 0xE1E4E1E4, .Colors = 4,
     .Load = canon_10bit_interleaved_load_raw, .Wb = {1.137f, 1.257f}},
    {.Key = K::Model, .Text = "PowerShot A5", .Height = 776, .Width = 960, .RawWidth = 992, .Filters = 0x1E4E1E4E,
     .Colors = 4, .Load = canon_10bit_packed_load_raw, .Wb = {1.5842f, 1.2966f, 1.0419f}},
    {.Key = K::Model, .Text = "PowerShot A5 Zoom", .Height = 776, .Width = 960, .RawWidth = 992, .Filters = 0x1E4E1E4E,
     .Colors = 4, .Load = canon_10bit_packed_load_raw, .Wb = {1.5842f, 1.2966f, 1.0419f}},
    {.Key = K::Model, .Text = "PowerShot A50", .Height = 968, .Width = 1290, .RawWidth = 1320, .Filters = 0x1B4E4B1E,
     .Colors = 4, .Load = canon_10bit_packed_load_raw, .Wb = {1.75f, 1.381f, 1, 1.182f}},
    {.Key = K::Model, .Text = "PowerShot Pro70", .Height = 1024, .Width = 1552, .Filters = 0x1E4B4E1B, .Colors = 4,
     .Load = canon_10bit_packed_load_raw, .Wb = {1.389f, 1.343f, 1, 1.034f}},
    {.Key = K::Model, .Text = "PowerShot Pro90 IS", .Width = 1896, .Filters = 0xB4B4B4B4, .Colors = 4,
     .Wb = {1.496f, 1.509f, 1, 1.009f}},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 2144, .Height = 1550, .Width = 2088, .Top = 8, .Left = 4,
     .Filters = 0xB4B4B4B4, .Colors = 4, .Wb = {1.446f, 1.405f, 1.016f}, .Special = X::CanonG1},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 2224, .Height = 1448, .Width = 2176, .Top = 6, .Left = 48,
     .Wb = {1.592f, 1, 1.261f}},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 2376, .Height = 1720, .Width = 2312, .Top = 6, .Left = 12,
     .Wb = {1.855f, 1, 1.339f}, .Special = X::CanonG2},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 2672, .Height = 1960, .Width = 2616, .Top = 6, .Left = 12,
     .Wb = {1.895f, 1, 1.403f}},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 3152, .Height = 2056, .Width = 3088, .Top = 12, .Left = 64,
     .Wb = {2.242f, 1, 1.245f}, .Saturation = 16000, .Special = X::CanonKiss},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 3160, .Height = 2328, .Width = 3112, .Top = 12, .Left = 44,
     .Wb = {1.85f, 1, 1.53f}},
    {.Key = K::CanonRawWidth, .Text = "", .Number = 3344, .Height = 2472, .Width = 3288, .Top = 6, .Left = 4,
     .Wb = {1.621f, 1, 1.528f}},
    {.Key = K::Model, .Text = "EOS-1D", .Height = 1662, .Width = 2496, .Offset = 288912, .Wb = {1.976f, 1, 1.282f}},
    {.Key = K::Model, .Text = "EOS-1DS", .Height = 2718, .Width = 4082, .Offset = 289168, .Wb = {1.66f, 1, 1.13f},
     .Saturation = 14464},
    {.Key = K::Model, .Text = "EOS-1D Mark II", .RawHeight = 2360, .RawWidth = 3596, .Top = 12, .Left = 74,
     .Filters = 0x94949494, .Wb = {1.95f, 1, 1.36f}, .Special = X::LessMargins},
    {.Key = K::Model, .Text = "EOS 20D", .RawHeight = 2360, .RawWidth = 3596, .Top = 12, .Left = 74,
     .Filters = 0x94949494, .Wb = {1.95f, 1, 1.36f}, .Special = X::LessMargins},
    {.Key = K::Model, .Text = "EOS-1Ds Mark II", .RawHeight = 3349, .RawWidth = 5108, .Top = 13, .Left = 98,
     .Filters = 0x94949494, .Wb = {1.609f, 1, 1.848f}, .Saturation = 0x3A00, .Special = X::LessMargins},
    {.Key = K::Model, .Text = "EOS D2000C", .Wb = {1, 1, 1.25f}, .Black = 800},
    {.Key = K::Model, .Text = "D1", .Filters = 0x16161616, .Wb = {0.838f, 1, 1.095f}},
    {.Key = K::Model, .Text = "D1H", .Filters = 0x16161616, .Wb = {2.301f, 1, 1.129f}},
    {.Key = K::Model, .Text = "D1X", .Width = 4024, .Filters = 0x16161616, .Wb = {1.91f, 1, 1.22f}},
    {.Key = K::Model, .Text = "D100", .Filters = 0x61616161, .Wb = {2.374f, 1, 1.677f}, .Saturation = 15632,
     .Special = X::D100},
    {.Key = K::Model, .Text = "D2H", .Width = 2482, .Left = 6, .Filters = 0x49494949, .Wb = {2.8f, 1, 1.2f}},
    {.Key = K::Model, .Text = "D70", .Filters = 0x16161616, .Wb = {2.043f, 1, 1.625f}},
    {.Key = K::Model, .Text = "E950", .Height = 1203, .Width = 1616, .Filters = 0x4B4B4B4B, .Colors = 4,
     .Load = coolpix_10bit_load_raw, .Wb = {1.18193f, 1, 1.16452f, 1.1725f}},
    {.Key = K::Model, .Text = "E990", .Height = 1540, .Width = 2064, .Colors = 4, .Special = X::E990},
    {.Key = K::Model, .Text = "E2100", .Width = 1616, .Special = X::E2100},
    {.Key = K::Model, .Text = "E4300", .Height = 1710, .Width = 2288, .Filters = 0x16161616, .Special = X::E4300},
    {.Key = K::Model, .Text = "E4500", .Height = 1708, .Width = 2288, .Filters = 0xB4B4B4B4, .Colors = 4,
     .Wb = {1.3f, 1.3f, 1, 1.148f}},
    {.Key = K::Model, .Text = "E5000", .Filters = 0xB4B4B4B4, .Colors = 4, .Wb = {1.3f, 1.3f, 1, 1.148f}},
    {.Key = K::Model, .Text = "E5700", .Filters = 0xB4B4B4B4, .Colors = 4, .Wb = {1.3f, 1.3f, 1, 1.148f}},
    {.Key = K::Model, .Text = "E5400", .Filters = 0x16161616, .Wb = {1.7f, 1, 1.344f}},
    {.Key = K::Model, .Text = "E8700", .Filters = 0x16161616, .Wb = {2.131f, 1, 1.3f}},
    {.Key = K::Model, .Text = "E8800", .Filters = 0x16161616, .Wb = {2.131f, 1, 1.3f}},
    {.Key = K::Model, .Text = "FinePixS2Pro", .Height = 3584, .Width = 3583, .Filters = 0x61616161,
     .Load = fuji_s2_diagonal_load_raw, .Wb = {1.424f, 1, 1.718f}, .Black = 512},
    {.Key = K::Model, .Text = "FinePix S5000", .Height = 2499, .Width = 2500, .Filters = 0x49494949,
     .Load = fuji_s5000_diagonal_load_raw, .Wb = {1.639f, 1, 1.438f}, .Saturation = 0xF800},
    {.Key = K::Model, .Text = "FinePix S7000", .Height = 3587, .Width = 3588, .Filters = 0x49494949,
     .Load = fuji_s7000_diagonal_load_raw, .Wb = {1.62f, 1, 1.38f}, .Saturation = 0xF800},
    {.Key = K::Model, .Text = "FinePix E550", .Height = 3587, .Width = 3588, .Filters = 0x49494949,
     .Load = fuji_s7000_diagonal_load_raw, .Wb = {1.45f, 1, 1.25f}, .Saturation = 0xF800},
    {.Key = K::Model, .Text = "FinePix F700", .Height = 2523, .Width = 2524, .Filters = 0x49494949,
     .Load = fuji_f700_diagonal_load_raw, .Wb = {1.639f, 1, 1.438f}, .Saturation = 0x3E00},
    {.Key = K::Model, .Text = "FinePix S20Pro", .Height = 2523, .Width = 2524, .Filters = 0x49494949,
     .Load = fuji_f700_diagonal_load_raw, .Wb = {1.639f, 1, 1.438f}, .Saturation = 0x3E00},
    {.Key = K::Model, .Text = "Digital Camera KD-400Z", .Number = 2032, .Height = 1712, .Width = 2312,
     .RawWidth = 2336, .Offset = 4034, .Special = X::Konica},
    {.Key = K::Model, .Text = "Digital Camera KD-510Z", .Number = 2032, .Height = 1956, .Width = 2607,
     .RawWidth = 2624, .Offset = 4032, .Filters = 0x61616161, .Special = X::Konica},
    {.Key = K::MakeNoCase, .Text = "MINOLTA", .Load = unpacked_mm_left2_load_raw, .Saturation = 15860,
     .Special = X::Minolta},
    {.Key = K::Model, .Text = "*ist D", .Height = 2024, .Width = 3040, .Offset = 0x10000,
     .Load = unpacked_mm_left2_load_raw, .Wb = {1.76f, 1.07f}},
    {.Key = K::Model, .Text = "Optio S", .Height = 1544, .Width = 2068, .RawWidth = 3136,
     .Load = packed_12bit_load_raw, .Wb = {1.506f, 1, 1.152f}},
    {.Key = K::Model, .Text = "Optio S4", .Height = 1737, .Width = 2324, .RawWidth = 3520,
     .Load = packed_12bit_load_raw, .Wb = {1.308f, 1, 1.275f}},
    {.Key = K::Make, .Text = "Phase One", .Load = phase_one_masked_load_raw, .Saturation = 0xFFFF,
     .Special = X::PhaseOne},
    {.Key = K::Model, .Text = "Ixpress", .Height = 4084, .Width = 4080, .Filters = 0x49494949,
     .Load = imacon_reversed_load_raw, .Wb = {1.963f, 1, 1.43f}, .Saturation = 0xFFFF},
    {.Key = K::Make, .Text = "Sinar", .Special = X::Sinar},
    {.Key = K::Make, .Text = "Leaf", .Load = unpacked_mm_load_raw, .Wb = {1.1629f, 1, 1.3556f}, .Saturation = 0xFFFF,
     .Special = X::Leaf},
    {.Key = K::Model, .Text = "DIGILUX 2", .Height = 1928, .Width = 2568, .Offset = 1024,
     .Load = unpacked_ii_right2_load_raw, .Wb = {1.883f, 1, 1.367f}},
    {.Key = K::Model, .Text = "DMC-LC1", .Height = 1928, .Width = 2568, .Offset = 1024,
     .Load = unpacked_ii_right2_load_raw, .Wb = {1.883f, 1, 1.367f}},
    {.Key = K::Model, .Text = "E-1", .Filters = 0x61616161, .Load = unpacked_ii_right2_load_raw,
     .Wb = {1.57f, 1, 1.48f}},
    {.Key = K::Model, .Text = "E-10", .Load = unpacked_mm_right2_load_raw, .Wb = {1.43f, 1, 1.77f}},
    {.Key = K::ModelPrefix, .Text = "E-20", .Load = unpacked_mm_right2_load_raw, .Wb = {1.43f, 1, 1.77f},
     .Black = 640},
    {.Key = K::Model, .Text = "C5050Z", .Filters = 0x16161616, .Load = olympus_interlaced_load_raw,
     .Wb = {1.533f, 1, 1.88f}},
    {.Key = K::Model, .Text = "C5060WZ", .Load = olympus_interlaced_load_raw, .Wb = {2.285f, 1, 1.023f}},
    {.Key = K::Model, .Text = "C8080WZ", .Filters = 0x16161616, .Load = olympus_interlaced_load_raw,
     .Wb = {2.335f, 1, 1.323f}},
    {.Key = K::Model, .Text = "N DIGITAL", .Height = 2047, .Width = 3072, .Offset = 6656, .Filters = 0x61616161,
     .Load = packed_12bit_load_raw, .Wb = {1.366f, 1, 1.251f}},
    {.Key = K::Model, .Text = "DSC-F828", .Height = 2460, .Width = 3288, .RawWidth = 3360, .Left = 5,
     .Filters = 0xB4B4B4B4, .Colors = 4, .Load = sony_f828_load_raw, .Wb = {1.512f, 1.02f, 1.405f}},
    {.Key = K::Make, .Text = "Rollei", .Filters = 0x16161616, .Load = rollei_10bit_load_raw, .Wb = {1.8f, 1, 1.3f},
     .Special = X::Rollei, .NotKodak = true},
    {.Key = K::Make, .Text = "SIGMA", .Filters = 0, .Load = sigma_huffman_load_raw, .Wb = {1.179f, 1, 0.713f},
     .Saturation = 5600, .Special = X::Sigma, .NotKodak = true},
    {.Key = K::Model, .Text = "PC-CAM 600", .Height = 768, .Width = 1024, .Offset = 1024, .Filters = 0x49494949,
     .Load = eight_bit_load_raw, .Wb = {1.14f, 1, 2.73f}, .NotKodak = true},
    {.Key = K::Model, .Text = "QV-2000UX", .Height = 1208, .Width = 1632, .Offset = 3264, .Load = eight_bit_load_raw,
     .NotKodak = true},
    {.Key = K::Model, .Text = "QV-3*00EX", .Height = 1546, .Width = 2070, .RawWidth = 2080,
     .Load = eight_bit_load_raw, .NotKodak = true},
    {.Key = K::Model, .Text = "QV-4000", .Height = 1700, .Width = 2260, .Load = unpacked_mm_right2_load_raw,
     .NotKodak = true},
    {.Key = K::Model, .Text = "QV-5700", .Height = 1924, .Width = 2576, .Load = casio_10bit_load_raw,
     .NotKodak = true},
    {.Key = K::Model, .Text = "EX-P600", .Height = 2142, .Width = 2844, .RawWidth = 4288,
     .Load = packed_12bit_load_raw, .Wb = {2.356f, 1.069f}, .NotKodak = true},
    {.Key = K::Make, .Text = "Nucore", .Filters = 0x61616161, .Load = nucore_load_raw, .NotKodak = true},
    {.Key = K::MakeNoCase, .Text = "KODAK", .Filters = 0x61616161, .Special = X::Kodak},
};

// The Kodak models, tried in order before the decoder is chosen by the file's compression.
const TCameraRow kKodakModels[] = {
    {.Key = K::Model, .Text = "NC2000F", .Left = 1, .Wb = {1.509f, 1, 2.686f}},
    {.Key = K::Model, .Text = "EOSDCS3B", .Left = 2, .Wb = {1.629f, 1, 2.767f}},
    {.Key = K::Model, .Text = "EOSDCS1", .Left = 2, .Wb = {1.386f, 1, 2.405f}},
    {.Key = K::Model, .Text = "DCS315C", .Wb = {1, 1.068f, 1.036f}, .Black = 32},
    {.Key = K::Model, .Text = "DCS330C", .Wb = {1, 1.012f, 1.804f}, .Black = 32},
    {.Key = K::Model, .Text = "DCS420", .Left = 2, .Wb = {1.327f, 1, 2.074f}},
    {.Key = K::Model, .Text = "DCS460", .Left = 2, .Wb = {1.724f, 1, 2.411f}},
    {.Key = K::Model, .Text = "DCS460A", .Left = 2, .Filters = 0, .Colors = 1},
    {.Key = K::Model, .Text = "DCS520C", .Wb = {1.006f, 1, 1.858f}, .Black = 720},
    {.Key = K::Model, .Text = "DCS560C", .Wb = {1, 1.053f, 1.703f}, .Black = 750},
    {.Key = K::Model, .Text = "DCS620C", .Wb = {1, 1.002f, 1.818f}, .Black = 720},
    {.Key = K::ModelWild, .Text = "DCS62$", .Wb = {1.486f, 1, 1.28f}, .Black = 740},
    {.Key = K::Model, .Text = "DCS660C", .Wb = {1.156f, 1, 1.626f}, .Black = 855},
    {.Key = K::Model, .Text = "DCS660M", .Filters = 0, .Colors = 1, .Black = 855},
    {.Key = K::ModelWild, .Text = "DCS72$", .Wb = {1.35f, 1, 1.18f}},
    {.Key = K::Model, .Text = "DCS760C", .Wb = {1.06f, 1, 1.72f}},
    {.Key = K::Model, .Text = "DCS760M", .Filters = 0, .Colors = 1},
    {.Key = K::Model, .Text = "ProBack", .Wb = {1.06f, 1, 1.385f}},
    {.Key = K::ExtraPrefix, .Text = "PB645C", .Wb = {1.0497f, 1, 1.3306f}},
    {.Key = K::ExtraPrefix, .Text = "PB645H", .Wb = {1.201f, 1, 1.5061f}},
    {.Key = K::ExtraPrefix, .Text = "PB645M", .Wb = {1.01755f, 1, 1.5424f}},
    {.Key = K::ModelNoCase, .Text = "DCS Pro 14n", .Wb = {1, 1.0323f, 1.258f}},
    {.Key = K::ModelNoCase, .Text = "DCS Pro 14nx", .Wb = {1.336f, 1, 1.3155f}},
    {.Key = K::ModelNoCase, .Text = "DCS Pro SLR/c", .Wb = {1.425f, 1, 1.293f}},
    {.Key = K::ModelNoCase, .Text = "DCS Pro SLR/n", .Wb = {1.324f, 1, 1.483f}},
};

// The Phase One backs, told apart by their stored height.
struct TPhaseOneBack {
  Integer RawHeight;
  const char* Model;
  Integer Height, Width, Top, Left;
  float Wb[3];
};
const TPhaseOneBack kPhaseOneBacks[] = {
    {2060, "LightPhase", 2048, 3080, 5, 22, {1.331f, 1, 1.154f}},
    {2682, "H10", 2672, 4012, 5, 26, {0, 0, 0}},
    {4128, "H20", 4098, 4098, 20, 26, {1.963f, 1, 1.43f}},
    {5488, "H25", 5458, 4098, 20, 26, {2.8f, 1, 1.2f}},
};

bool Wild(const char* Name, const char* Pattern) {
  for (; *Pattern; ++Name, ++Pattern)
    if (!*Name || (*Pattern != '$' && *Pattern != *Name)) return false;
  return *Name == 0;
}

bool Matches(const TIERawDecoder& S, const TCameraRow& R) {
  if (R.NotKodak && strcasecmp(S.make, "KODAK") == 0) return false;
  switch (R.Key) {
    case K::Model: return std::strcmp(S.model, R.Text) == 0;
    case K::ModelPrefix: return std::strncmp(S.model, R.Text, std::strlen(R.Text)) == 0;
    case K::ModelContains: return std::strstr(S.model, R.Text) != nullptr;
    case K::ModelWild: return Wild(S.model, R.Text);
    case K::ModelNoCase: return strcasecmp(S.model, R.Text) == 0;
    case K::ExtraPrefix: return std::strncmp(S.model_extra, R.Text, std::strlen(R.Text)) == 0;
    case K::Make: return std::strcmp(S.make, R.Text) == 0;
    case K::MakeNoCase: return strcasecmp(S.make, R.Text) == 0;
    case K::CanonRawWidth: return std::strcmp(S.make, "Canon") == 0 && S.sensor_width == R.Number;
  }
  return false;
}

void Apply(TIERawDecoder& S, const TCameraRow& R) {
  if (R.RawHeight != kKeep) S.sensor_height = R.RawHeight;
  if (R.RawWidth != kKeep) S.sensor_width = R.RawWidth;
  if (R.Height != kKeep) S.height = R.Height;
  if (R.Width != kKeep) S.width = R.Width;
  if (R.Top != kKeep) S.active_top = R.Top;
  if (R.Left != kKeep) S.active_left = R.Left;
  if (R.Offset != kKeep) S.data_offset = R.Offset;
  if (R.Filters != kKeepFilters) S.filters = Cardinal(R.Filters);
  if (R.Colors != kKeep) S.colors = R.Colors;
  if (R.Load) S.load_raw = R.Load;
  for (Integer c = 0; c < 4; ++c)
    if (R.Wb[c] != 0) S.wb_multipliers[c] = R.Wb[c];
  if (R.Black != kKeep) S.black = R.Black;
  if (R.Saturation != kKeep) S.saturation_level = R.Saturation;
}

void SetWb(TIERawDecoder& S, float R, float G, float B, float G2 = 1) {
  S.wb_multipliers[0] = R;
  S.wb_multipliers[1] = G;
  S.wb_multipliers[2] = B;
  S.wb_multipliers[3] = G2;
}

void SetMatrix(TIERawDecoder& S, const float (&M)[3][4]) {
  std::memcpy(S.fixed_matrix, M, sizeof M);
  S.use_fixed_matrix = 1;
}

const float kCoolpixMatrix[3][4] = {{-1.93628f, 1.800443f, -1.448486f, 2.584324f},
                                    {1.405365f, -0.524955f, -0.28909f, 0.40868f},
                                    {-1.204965f, 1.082304f, 2.941367f, -1.818705f}};
const float kSonyMatrix[3][4] = {{1.321918f, 0, 0.149829f, -0.471747f},
                                 {-0.288764f, 1.129213f, -0.486517f, 0.646067f},
                                 {0.061336f, -0.199343f, 1.138007f, 0}};
const float kSigmaMatrix[3][4] = {{2.034395f, -0.727533f, -0.306746f, 0},
                                  {-0.228719f, 1.231793f, -0.002829f, 0},
                                  {-0.008615f, -0.153336f, 1.161781f, 0}};

// Bytes at Pos; fewer (the rest zero) when the file ends first.
void ReadAt(TIERawDecoder& S, Int64 Pos, Byte* Dest, Integer Count) {
  std::memset(Dest, 0, size_t(Count));
  if (Pos < 0 || Pos >= raw_size(S)) return;
  raw_seek(S, Pos);
  S.stream->Read(Dest, Count);
}

bool CoolpixIsE990(TIERawDecoder& S) {
  Byte bytes[2000];
  ReadAt(S, 2383920, bytes, 2000);
  Integer count[256] = {};
  for (Byte b : bytes) ++count[b];
  for (Integer v : {0, 85, 170, 255})
    if (count[v] > 400) return true;
  return false;
}

bool CoolpixIsE2100(TIERawDecoder& S) {
  Byte block[12];
  for (Integer i = 0; i < 1024; ++i) {
    ReadAt(S, Int64(i) * 12, block, 12);
    if ((((block[2] >> 4) & (block[4] >> 4) & (block[7] >> 4) & (block[9] >> 4) & block[1] & block[6] & block[8] &
          block[11]) & 3) != 3)
      return false;
  }
  return true;
}

void KonicaBlock(TIERawDecoder& S, Int64 BalanceAt) {
  S.load_raw = unpacked_mm_left4_load_raw;
  S.saturation_level = 15856;
  S.order = kRawOrderMotorola;
  if (BalanceAt >= 0) raw_seek(S, BalanceAt);
  const double v1 = read_u16(S), v2 = read_u16(S), v3 = read_u16(S), v4 = read_u16(S);
  S.camera_wb_red = v3 == 0 ? 0.0f : float(v1 / v3);
  S.camera_wb_blue = v4 == 0 ? 0.0f : float(v2 / v4);
  SetWb(S, 1.42f, 1, 1.25f);
}

// 0: go on with the final step; 1: the file is refused.
Integer Special(TIERawDecoder& S, const TCameraRow& R) {
  switch (R.Special) {
    case X::None: return 0;
    case X::CanonG1:
      if (std::strcmp(S.model, "PowerShot G1") == 0) {
        S.filters = 0x94949494;
        S.colors = 3;
        SetWb(S, 1.785f, 1, 1.266f);
      }
      return 0;
    case X::CanonG2:
      if (std::strcmp(S.model, "PowerShot G2") == 0 || std::strcmp(S.model, "PowerShot S40") == 0)
        SetWb(S, 1.965f, 1, 1.208f);
      return 0;
    case X::CanonKiss:
      if (std::strcmp(S.model, "EOS Kiss Digital") == 0) SetWb(S, 1.882f, 1, 1.094f);
      return 0;
    case X::LessMargins:
      S.height = S.sensor_height - S.active_top;
      S.width = S.sensor_width - S.active_left;
      return 0;
    case X::D100:
      if (S.compression == 34713 && S.load_raw == nikon_12bit_load_raw) {
        S.sensor_width = S.width + 6;
        S.width += 3;
      }
      return 0;
    case X::E990:
      if (CoolpixIsE990(S)) {
        S.filters = 0xB4B4B4B4;
        SetWb(S, 1.196f, 1.246f, 1.018f);
        SetMatrix(S, kCoolpixMatrix);
      } else {
        std::strcpy(S.model, "E995");
        S.filters = 0xE1E1E1E1;
        SetWb(S, 1.253f, 1.178f, 1, 1.035f);
      }
      return 0;
    case X::E2100:
      if (CoolpixIsE2100(S)) {
        S.height = 1206;
        S.load_raw = swapped_12bit_load_raw;
        SetWb(S, 1.945f, 1, 1.04f);
      } else {
        std::strcpy(S.model, "E2500");
        S.height = 1204;
        S.filters = 0x4B4B4B4B;
        S.colors = 4;
        SetWb(S, 1.3f, 1.3f, 1, 1.148f);
      }
      return 0;
    case X::E4300: {
      Byte tail[424];
      ReadAt(S, raw_size(S) - 424, tail, 424);
      bool blank = true;
      for (Byte b : tail) blank = blank && b == 0;
      if (!blank) {
        std::strcpy(S.make, "Minolta");
        std::strcpy(S.model, "DiMAGE Z2");
        S.load_raw = swapped_12bit_load_raw;
      }
      return 0;
    }
    case X::Konica: KonicaBlock(S, R.Number); return 0;
    case X::Minolta: {
      const char ninth = S.model[8];
      if (std::strncmp(S.model, "DiMAGE A", 8) == 0) {
        S.load_raw = packed_12bit_load_raw;
        SetWb(S, 1.42f, 1, 1.25f);
        S.saturation_level = ninth == '1' ? 15916 : 16380;
      } else if (std::strncmp(S.model, "DiMAGE G", 8) != 0) {
        SetWb(S, 1.42f, 1, 1.25f);
      } else {
        S.filters = 0x61616161;
        Int64 at = -1;
        if (ninth == '4') {
          S.height = 1716, S.width = 2304, S.data_offset = 5056, at = 2078;
        } else if (ninth == '5') {
          S.height = 1956, S.width = 2607, S.sensor_width = 2624, S.data_offset = 4016, at = 1936;
        } else if (ninth == '6') {
          S.height = 2136, S.width = 2848, S.data_offset = 4032, at = 2030;
        }
        KonicaBlock(S, at);
      }
      return 0;
    }
    case X::PhaseOne:
      for (const TPhaseOneBack& b : kPhaseOneBacks)
        if (S.sensor_height == b.RawHeight) {
          std::strcpy(S.model, b.Model);
          S.height = b.Height, S.width = b.Width, S.active_top = b.Top, S.active_left = b.Left;
          for (Integer c = 0; c < 3; ++c)
            if (b.Wb[c] != 0) S.wb_multipliers[c] = b.Wb[c];
        }
      S.filters = (S.active_top & 1) ? 0x94949494 : 0x49494949;
      return 0;
    case X::Sinar: {
      Byte head[4];
      ReadAt(S, 0, head, 4);
      if (std::memcmp(head, "8BPS", 4) != 0) return 0;
      raw_seek(S, 14);
      S.height = Integer(read_u32(S));
      S.width = Integer(read_u32(S));
      S.data_offset = 68;
      S.filters = 0x61616161;
      S.load_raw = unpacked_mm_load_raw;
      S.saturation_level = 0xFFFF;
      return 0;
    }
    case X::Leaf:
      if (S.width < S.height) S.filters = 0x16161616;
      return 0;
    case X::Rollei:
      if (S.sensor_width == 1316) {
        S.height = 1030, S.width = 1300, S.active_top = 1, S.active_left = 6;
      } else if (S.sensor_width == 2568) {
        S.height = 1960, S.width = 2560, S.active_top = 2, S.active_left = 8;
      }
      return 0;
    case X::Sigma:
      if (S.sensor_height == 763) S.height = 756, S.active_top = 2;
      if (S.sensor_height == 1531) S.height = 1514, S.active_top = 7;
      if (S.sensor_width == 1152) S.width = 1136, S.active_left = 8;
      if (S.sensor_width == 2304) S.width = 2271, S.active_left = 17;
      if (std::strcmp(S.model, "SD10") == 0) {
        S.wb_multipliers[0] *= 2.07f;
        S.wb_multipliers[2] *= 2.3f;
      }
      S.three_layer_sensor = 1;
      if (Int64(S.height) * 2 < S.width) S.row_repeat = 2;
      SetMatrix(S, kSigmaMatrix);
      for (Integer c = 0; c < 3; ++c)
        for (Integer k = 0; k < 3; ++k) S.fixed_matrix[c][k] *= S.wb_multipliers[c];
      return 0;
    case X::Kodak: {
      for (const TCameraRow& m : kKodakModels)
        if (Matches(S, m)) {
          Apply(S, m);
          if (m.Left != kKeep) S.width -= 4;
          if (std::strcmp(m.Text, "NC2000F") == 0) S.tone_curve_length = 176;
          if (m.Key == K::ModelWild) S.cmy_sensor = 1;
          break;
        }
      switch (S.compression) {
        case 0:
        case 1: S.load_raw = kodak_easy_load_raw; break;
        case 7: S.load_raw = lossless_huffman_load_raw; break;
        case 32867: break;
        case 65000:
          if (S.photometric == 32803) {
            S.load_raw = kodak_packed_diff_load_raw;
          } else {
            S.load_raw = kodak_ycc_load_raw;
            S.height = (S.height + 1) & ~1;
            S.width = (S.width + 1) & ~1;
            S.filters = 0;
          }
          break;
        default: return 1;
      }
      const bool big = raw_size(S) > 99999;
      if (std::strcmp(S.model, "DC20") == 0) {
        S.height = 242;
        S.width = big ? 501 : 249;
        S.sensor_width = big ? 512 : 256;
        S.data_offset = S.sensor_width + 1;
        S.filters = 0x8D8D8D8D;
        S.colors = 4;
        S.load_raw = kodak_easy_load_raw;
        SetWb(S, 1, 1.179f, 1.209f, 1.036f);
        static const float a[3][4] = {{2.25f, 0.75f, -1.75f, -0.25f}, {-0.25f, 0.75f, 0.75f, -0.25f},
                                      {-0.25f, -1.75f, 0.75f, 2.25f}};
        static const float b[3][4] = {{1, 0, 0, 0}, {0, 0.5f, 0.5f, 0}, {0, 0, 0, 1}};
        for (Integer r = 0; r < 3; ++r)
          for (Integer c = 0; c < 4; ++c) S.fixed_matrix[r][c] = 0.5f * a[r][c] + 0.5f * b[r][c];
        S.use_fixed_matrix = 1;
      } else if (std::strstr(S.model, "DC25")) {
        std::strcpy(S.model, "DC25");
        S.height = 242;
        S.width = big ? 501 : 249;
        S.sensor_width = big ? 512 : 256;
        S.data_offset = big ? 15937 : 15681;
        S.filters = 0xB4B4B4B4;
        S.colors = 4;
        S.load_raw = kodak_easy_load_raw;
      } else if (std::strcmp(S.model, "Digital Camera 40") == 0) {
        std::strcpy(S.model, "DC40");
        S.height = 512, S.width = 768, S.data_offset = 1152;
        S.load_raw = kodak_dc40_load_raw;
      } else if (std::strstr(S.model, "DC50")) {
        std::strcpy(S.model, "DC50");
        S.height = 512, S.width = 768, S.data_offset = 0x4D00;
        S.load_raw = kodak_dc40_load_raw;
      } else if (std::strstr(S.model, "DC120")) {
        std::strcpy(S.model, "DC120");
        S.height = 976, S.width = 848;
        S.load_raw = S.compression == 7 ? kodak_dc120_jpeg_load_raw : kodak_dc120_shuffled_load_raw;
      }
      return 0;
    }
  }
  return 0;
}

}  // namespace

Integer apply_camera_table(TIERawDecoder& S) {
  for (const TCameraRow& r : kCameras) {
    if (!Matches(S, r)) continue;
    Apply(S, r);
    if (std::strcmp(r.Text, "D1X") == 0) S.row_repeat = 2;
    if (r.Load == coolpix_10bit_load_raw) SetMatrix(S, kCoolpixMatrix);
    if (r.Load == sony_f828_load_raw) SetMatrix(S, kSonyMatrix);
    return Special(S, r);
  }
  return 0;
}
