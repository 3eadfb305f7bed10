#include "imaging/proc/ie_filter_presets.h"

#include <memory>
#include <vector>

#include "platform/gui/clipboard.h"

Integer IEZodivErRawFormat = 0;

namespace {

struct TPreset {
  std::unique_ptr<TIEKernel3x3> Kernel;
  AnsiString Name;
};

std::vector<TPreset>* gPresets = nullptr;

}  // namespace

Integer IEAddFilterPreset(const TIEKernel3x3& Kernel, const AnsiString& Name) {
  if (!gPresets) gPresets = new std::vector<TPreset>;
  gPresets->push_back({std::make_unique<TIEKernel3x3>(Kernel), Name});
  return static_cast<Integer>(gPresets->size()) - 1;
}

void IEInitFilterPresets() {
  IEFreeFilterPresets();
  gPresets = new std::vector<TPreset>;
  IEAddFilterPreset({{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0}, "None");
  IEAddFilterPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9}, "Blur");
  IEAddFilterPreset({{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1}, "Edges");
  IEAddFilterPreset({{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1}, "Emboss");
  IEAddFilterPreset({{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}, "High Pass 1");
  IEAddFilterPreset({{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}, "High Pass 2");
  IEAddFilterPreset({{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}, "High Pass 3");
  IEAddFilterPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10}, "Low Pass 1");
  IEAddFilterPreset({{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}, "Low Pass 2");
}

void IEFreeFilterPresets() {
  delete gPresets;
  gPresets = nullptr;
}

Integer IEFilterPresetCount() { return gPresets ? static_cast<Integer>(gPresets->size()) : 0; }

const TIEKernel3x3* IEFilterPreset(Integer Index) {
  if (Index < 0 || Index >= IEFilterPresetCount()) return nullptr;
  return (*gPresets)[Index].Kernel.get();
}

AnsiString IEFilterPresetName(Integer Index) {
  if (Index < 0 || Index >= IEFilterPresetCount()) return AnsiString();
  return (*gPresets)[Index].Name;
}

void IEInitZodivErProc() {
  IEInitFilterPresets();
  // Registered so other programs see the name; the library puts no data under it.
  IEZodivErRawFormat = RegisterClipboardFormat("ZODIVER RAW FORMAT");
}

void IEFinalZodivErProc() { IEFreeFilterPresets(); }
