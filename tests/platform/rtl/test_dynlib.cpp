#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "platform/rtl/dynlib.h"
#include "platform/rtl/files.h"

TEST(DynLib, LoadsBindsAndUnloadsASystemLibrary) {
  HMODULE m = LoadLibrary("libm.so.6");
  ASSERT_NE(m, nullptr) << LastDynLibError();
  using CosFn = double (*)(double);
  auto cosine = reinterpret_cast<CosFn>(GetProcAddress(m, "cos"));
  ASSERT_NE(cosine, nullptr) << LastDynLibError();
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(ExtractFileName(GetModuleFileName(m)).rfind("libm.so.6", 0), 0u) << GetModuleFileName(m);
  EXPECT_TRUE(FileExists(GetModuleFileName(m)));

  EXPECT_EQ(GetProcAddress(m, "no_such_entry_point"), nullptr);
  EXPECT_NE(LastDynLibError().find("no_such_entry_point"), AnsiString::npos) << LastDynLibError();

  // The same library twice gives the same handle, counted: both frees succeed, a third fails.
  HMODULE again = LoadLibrary(u"libm.so.6");
  EXPECT_EQ(again, m);
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));
  EXPECT_EQ(GetModuleFileName(m), "");  // a released handle is no longer looked at
}

TEST(DynLib, FailuresCarryTheLoaderTextPerThread) {
  EXPECT_EQ(LoadLibrary("/no/such/dir/libavutil-51.so"), nullptr);
  const AnsiString text = LastDynLibError();
  EXPECT_NE(text.find("/no/such/dir/libavutil-51.so"), AnsiString::npos) << text;
  EXPECT_NE(text.find("No such file or directory"), AnsiString::npos) << text;

  AnsiString other = "unset";
  std::thread([&] {
    other = LastDynLibError();  // another thread's failure is not this one's
    LoadLibrary("libclavorne-missing.so.9");
  }).join();
  EXPECT_EQ(other, "");
  EXPECT_EQ(LastDynLibError(), text);

  EXPECT_EQ(LoadLibrary(AnsiString()), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "cos"), nullptr);
  int notALibrary = 0;
  EXPECT_FALSE(FreeLibrary(&notALibrary));
  EXPECT_EQ(GetModuleFileName(&notALibrary), "");
}
