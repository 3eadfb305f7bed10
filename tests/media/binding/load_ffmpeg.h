// Loads the process's FFmpeg set once for tests that call into it; it stays loaded.
#pragma once

#include <gtest/gtest.h>

#include "media/binding/loader.h"

inline void LoadFFmpegForTest() {
  ASSERT_TRUE(FFLoader()->Load(AllLibraries)) << FFLoader()->GetLastError();
}
