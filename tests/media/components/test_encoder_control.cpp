// The encoder's states, its refusals and texts, and handlers that raise.
#include "tests/media/components/test_encoder_support.h"

using namespace encodertest;

namespace {

AnsiString MessageOf(const std::function<void()>& Call) {
  try {
    Call();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "(no exception)";
}

TEST(EncoderControl, WorkingStateRefusesChangesUntilClearTasks) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-ctl");
  TFFEncoder encoder(nullptr);

  // An empty list leaves the encoder idle and usable.
  encoder.StartTask(5);
  EXPECT_FALSE(encoder.Working());
  encoder.ClearTasks();

  AddFrameTask(encoder, input, dir, 0);
  int listEvents = 0;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { listEvents += Info.TaskIndex == -1; };
  encoder.StartTask(1);
  EXPECT_EQ(MessageOf([&] { encoder.ClearTasks(); }), "Cannot ClearTasks while working.");
  ASSERT_TRUE(ServeUntil([&] { return listEvents == 1; }, 30000));
  EXPECT_EQ(MessageOf([&] { encoder.AddTask(UTF8Decode(input)); }), "Cannot AddTask while working.");
  EXPECT_EQ(MessageOf([&] { encoder.SetOutput(0, u"x.bmp"); }), "Cannot SetOutput while working.");
  EXPECT_EQ(MessageOf([&] { encoder.RemoveTask(0); }), "Cannot RemoveTask while working.");
  EXPECT_EQ(MessageOf([&] { encoder.StartTask(1); }), "Cannot StartTask while working.");
  encoder.ClearTasks();
  EXPECT_FALSE(encoder.Working());
  EXPECT_EQ(encoder.TaskCount(), 0);
  EXPECT_GE(encoder.AddTask(UTF8Decode(input)), 0) << encoder.LastErrorMessage;
  EXPECT_EQ(MessageOf([&] { encoder.SetOutput(3, u"x.bmp"); }), "List index out of bounds (3)");
  testsupport::RemoveTree(dir);
}

TEST(EncoderControl, ProgressIntervalIsAtLeastAHundred) {
  TFFEncoder encoder(nullptr);
  const std::pair<int, int> cases[] = {{50, 100}, {100, 100}, {-5, 100}, {101, 101}, {2000, 2000}};
  for (const auto& [value, stored] : cases) {
    encoder.SetProgressInterval(value);
    EXPECT_EQ(encoder.ProgressInterval(), stored) << value;
  }
}

TEST(EncoderControl, RefusedDepthAndMissingOutputAreReported) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-err");
  TFFEncoder encoder(nullptr);

  const int bad = encoder.AddTask(UTF8Decode(input));
  ASSERT_GE(bad, 0) << encoder.LastErrorMessage;
  TOutputOptions out;
  InitOutputOptions(out);
  out.VideoHookBitsPixel = 12;
  EXPECT_EQ(encoder.SetOutput(bad, UTF8Decode(dir + "/a_%03d.bmp"), &out), -1);
  EXPECT_EQ(encoder.LastErrorMessage, "Invalid BitsPixel 12");

  // The first task has no output; the second is complete and still runs.
  AddFrameTask(encoder, input, dir, 1);
  std::vector<TTerminateInfo> events;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { events.push_back(Info); };
  encoder.StartTask(5);
  ASSERT_TRUE(ServeUntil([&] { return !events.empty() && events.back().TaskIndex == -1; }, 30000));
  ASSERT_EQ(events.size(), 3u);
  for (const TTerminateInfo& e : events) {
    if (e.TaskIndex == 0) {
      EXPECT_TRUE(e.ExceptionRaised);
      EXPECT_EQ(e.ExceptionMessage, "At least one output file must be specified");
    } else if (e.TaskIndex == 1) {
      EXPECT_TRUE(e.Finished);
      EXPECT_FALSE(e.ExceptionRaised) << e.ExceptionMessage;
    }
  }
  EXPECT_EQ(events.back().TaskIndex, -1);
  EXPECT_TRUE(events.back().Finished);
  EXPECT_EQ(Identify(dir + "/t01_*.bmp"), "96 72\n96 72\n96 72\n");
  testsupport::RemoveTree(dir);
}

// A handler that raises must neither lose the event for the whole list nor the tasks after it.
TEST(EncoderControl, RaisingTerminateHandlerKeepsTheListEvent) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-raise");
  for (const int count : {0, 3}) {
    TFFEncoder encoder(nullptr);
    for (int i = 0; i < 3; ++i) AddFrameTask(encoder, input, dir, i);
    int taskEvents = 0, listEvents = 0;
    encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
      if (Info.TaskIndex == -1) {
        ++listEvents;
        return;
      }
      ++taskEvents;
      throw Exception("handler failed");
    };
    // In the caller's thread the task's own end step catches what the handler raised.
    encoder.StartTask(count);
    EXPECT_TRUE(ServeUntil([&] { return listEvents == 1 && encoder.TerminateDelivered(); }, 30000)) << count;
    EXPECT_EQ(taskEvents, 3) << count;
    EXPECT_TRUE(encoder.Finished());
  }
  testsupport::RemoveTree(dir);
}

TEST(EncoderControl, SwitchesInAnotherCaseReachTheOutputOpenAsTheTableSpellsThem) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-sw");
  TFFEncoder encoder(nullptr);
  const int index = encoder.AddTask(UTF8Decode(input));
  ASSERT_GE(index, 0);
  TOutputOptions out;
  InitOutputOptions(out);
  out.Options = " -vframes 1 -VIDEOOUTPUTHOOK -f image2 -join";
  EXPECT_GE(encoder.SetOutput(index, UTF8Decode(dir + "/s_%03d.bmp"), &out), 0) << encoder.LastErrorMessage;
  out.Options = "-vframes 1 -f image2 -joinx";
  EXPECT_LT(encoder.SetOutput(index, UTF8Decode(dir + "/u_%03d.bmp"), &out), 0);
  testsupport::RemoveTree(dir);
}

}  // namespace
