// The processing unit's start-up: its presets and clipboard format, once per library start.
#include <gtest/gtest.h>

#include "imaging/core/ie_startup.h"
#include "imaging/proc/ie_filter_presets.h"
#include "imaging/proc/ie_proc_services.h"
#include "platform/gui/clipboard.h"

namespace {

TEST(ProcStartup, PresetsAndClipboardFormatLiveFromStartToStop) {
  IEInitZodivErProc();
  ASSERT_EQ(IEFilterPresetCount(), 9);
  const TIEKernel3x3* blur = IEFilterPreset(1);
  ASSERT_NE(blur, nullptr);
  for (Integer v : blur->Values) EXPECT_EQ(v, 1);
  EXPECT_EQ(blur->Divisor, 9);
  EXPECT_EQ(IEFilterPresetName(1), "Blur");
  EXPECT_EQ(IEFilterPresetName(8), "Low Pass 2");
  EXPECT_EQ(IEFilterPreset(3)->Values[4], 1);  // Emboss keeps its centre
  EXPECT_EQ(IEFilterPreset(9), nullptr);
  EXPECT_EQ(ClipboardFormatName(TClipFormat(IEZodivErRawFormat)), "ZODIVER RAW FORMAT");
  EXPECT_EQ(IEAddFilterPreset({{0, 0, 0, 0, 2, 0, 0, 0, 0}, 2}, "Mine"), 9);
  IEFinalZodivErProc();
  EXPECT_EQ(IEFilterPresetCount(), 0);
  EXPECT_EQ(IEFilterPreset(1), nullptr);

  // Through the library's start-up, which runs the step once however often it is nested.
  ASSERT_FALSE(IELibraryStarted());
  IERegisterProcessingServices();
  IEInitialize();
  IEInitialize();
  EXPECT_EQ(IEFilterPresetCount(), 9);
  IEFinalize();
  EXPECT_EQ(IEFilterPresetCount(), 9);
  IEFinalize();
  EXPECT_EQ(IEFilterPresetCount(), 0);
}

}  // namespace
