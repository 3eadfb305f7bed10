// The Message of the exception of type E that Action raises, for checking the exact texts;
// "(no exception)" when it raises none (another type passes through and fails the test).
#pragma once

#include <functional>
#include <string>

template <class E>
std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const E& Error) {
    return Error.Message;
  }
  return "(no exception)";
}
