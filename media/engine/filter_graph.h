// A task's filter graphs and the records that bind their pads to input and output streams.
#pragma once

#include <optional>
#include <vector>

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

struct TInputStream;
struct TOutputStream;
struct TFilterGraph;

struct TInputFilter {
  AVFilterContext* Filter = nullptr;  // the buffer source
  TInputStream* Ist = nullptr;
  TFilterGraph* Graph = nullptr;
  AnsiString Name;
};

struct TOutputFilter {
  AVFilterContext* Filter = nullptr;  // the buffer sink
  TOutputStream* Ost = nullptr;
  TFilterGraph* Graph = nullptr;
  AnsiString Name;
  // A complex graph's output pad while no output stream is bound to it.
  AVFilterInOut* OutTmp = nullptr;
};

struct TFilterGraph {
  int Index = 0;
  // The "filter_complex" text; none for a simple graph, which runs its output stream's filter.
  std::optional<AnsiString> GraphDesc;
  AVFilterGraph* Graph = nullptr;
  int Reconfiguration = 0;
  std::vector<TInputFilter*> Inputs;
  std::vector<TOutputFilter*> Outputs;

  bool Simple() const { return !GraphDesc.has_value(); }
};
