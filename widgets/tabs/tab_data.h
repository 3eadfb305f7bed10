// One record per tab and the list that owns them; the colour sets the tab control publishes.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/graphics.h"

class TClCustomTabControl;

class TClTabData : public TPersistent {
 public:
  AnsiString Caption;
  TColor Color = clBtnFace;
  Integer DisabledIndex = -1;
  bool Enabled = true;
  AnsiString Hint;
  Integer ImageIndex = -1;
  TRect TabRect;  // strip coordinates, set by the layout
  bool Visible = true;
  Integer Row = 0;

  void Assign(TPersistent* Source) override;
  AnsiString ClassName() const override { return "TClTabData"; }
};

class TClTabDataList : public TPersistent {
 public:
  ~TClTabDataList() override = default;
  virtual Integer Count() const { return Integer(FItems.size()); }
  // Out-of-range indexes raise EListError.
  virtual TClTabData* Items(Integer Index) const;
  virtual void SetItems(Integer Index, TClTabData* Value);
  // Takes ownership.
  void AddTabData(TClTabData* Data) { FItems.emplace_back(Data); }
  void ClearTabData() { FItems.clear(); }
  void Assign(TPersistent* Source) override;

 private:
  std::vector<std::unique_ptr<TClTabData>> FItems;
};

class TClTabColors : public TPersistent {
 public:
  explicit TClTabColors(TClCustomTabControl* Owner) : FTabControl(Owner) {}
  TColor HighlightBar() const { return FHighlightBar; }
  TColor Shadow() const { return FShadow; }
  TColor Unselected() const { return FUnselected; }
  virtual void SetHighlightBar(TColor Value);
  virtual void SetShadow(TColor Value);
  virtual void SetUnselected(TColor Value);
  void Assign(TPersistent* Source) override;

 private:
  TClCustomTabControl* FTabControl;
  TColor FHighlightBar = clHighlight;
  TColor FShadow = clBtnFace;
  TColor FUnselected = clWindow;
};

class TClTextColors : public TPersistent {
 public:
  explicit TClTextColors(TClCustomTabControl* Owner) : FTabControl(Owner) {}
  TColor Disabled() const { return FDisabled; }
  TColor Selected() const { return FSelected; }
  TColor Unselected() const { return FUnselected; }
  virtual void SetDisabled(TColor Value);
  virtual void SetSelected(TColor Value);
  virtual void SetUnselected(TColor Value);
  void Assign(TPersistent* Source) override;

 private:
  TClCustomTabControl* FTabControl;
  TColor FDisabled = clGrayText;
  TColor FSelected = clBtnText;
  TColor FUnselected = clBtnText;
};
