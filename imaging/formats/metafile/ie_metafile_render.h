// A Windows metafile (WMF, placeable or not) or enhanced metafile (EMF) as a picture that draws
// itself scaled into a rectangle of any canvas: our own player of the common GDI records.
//
// Loading checks the header and the chain of records (every record's size within the file,
// the chain closed by its end record) and raises EInvalidGraphic with the reason otherwise.
// Drawing checks each record's fields before use (point counts against the record's size,
// object indices against the object table, bitmap headers and sizes against their bytes) and
// stops at the first damaged record, keeping what was drawn; PlayError then says which record
// and why. Records the player does not know are skipped.
#pragma once

#include <vector>

#include "platform/gui/bitmap.h"

class TIEMetafile : public TGraphic {
 public:
  TIEMetafile();
  ~TIEMetafile() override;

  // The size the picture is drawn at by Draw(X, Y): from the header at 96 pixels per inch,
  // until set.
  Integer Width() const override { return FWidth; }
  Integer Height() const override { return FHeight; }
  void SetWidth(Integer Value) override;
  void SetHeight(Integer Value) override;
  bool Empty() const override { return FData.empty(); }
  bool Enhanced() const { return FEnhanced; }

  // Reads the rest of the stream (at most MaxBytes) as one metafile.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void Draw(TCanvas* ACanvas, const TRect& R) override;

  // Why the last Draw stopped early; empty when every record was played.
  const AnsiString& PlayError() const { return FPlayError; }

  // Records drawn per kind and records skipped, by the last Draw (for the tests and for a
  // curious caller): skipped records are those of kinds the player leaves out.
  Integer SkippedRecords() const { return FSkipped; }

  AnsiString ClassName() const override { return "TIEMetafile"; }

  // The largest metafile read, in bytes.
  static constexpr Int64 MaxBytes = Int64(256) << 20;

 private:
  void Parse();
  std::vector<Byte> FData;
  bool FEnhanced = false;
  Integer FWidth = 0, FHeight = 0;
  // WMF: where the records start, the object table's size, and the logical box the picture
  // spans (the placeable header's, or the window a plain metafile sets up).
  size_t FRecordsAt = 0;
  Integer FObjectCount = 0;
  double FBox[4] = {0, 0, 0, 0};
  AnsiString FPlayError;
  Integer FSkipped = 0;
};
