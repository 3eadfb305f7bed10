#include "app/time_text.h"

#include "platform/rtl/sysutils.h"

AnsiString format_time(Int64 Microseconds) {
  const Int64 seconds = Microseconds / 1000000;
  const Int64 hours = seconds / 60 / 60;
  const Int64 minutes = (seconds / 60) % 60;
  const Int64 secs = seconds % 60;
  const Int64 millis = (Microseconds % 1000000) * 1000 / 1000000;
  return Format("%.2d:%.2d:%.2d.%.3d", hours, minutes, secs, millis);
}
