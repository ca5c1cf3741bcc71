#include "platform/console/output_queue.h"

#include <vector>

#include "platform/console.h"
#include "platform/console/process.h"
#include "platform/console/statement_output.h"

namespace {

struct QueuedText {
  int sink;
  std::string bytes;
};
std::vector<QueuedText> queue;
std::size_t queued_size = 0;
bool failed[2] = {false, false};
int sink_of[2] = {0, 1}; // by OutputStream
bool apart = false;
std::int64_t last_flush = 0;

constexpr std::size_t FlushSize = 64 * 1024;
constexpr std::int64_t FlushIntervalNs = 50'000'000;

int Index(OutputStream stream) {
  return stream == OutputStream::Console ? 0 : 1;
}

bool FlushDue() {
  return OutputClockNs() - last_flush >= FlushIntervalNs;
}

} // namespace

void ShareOneSink() {
  sink_of[0] = sink_of[1] = 1;
}

void SinksApart() {
  apart = true;
}

void StartOutputClock() {
  last_flush = OutputClockNs();
}

void WriteSinkNow(int sink, std::string_view bytes) {
  if (!failed[sink] && !WriteSink(sink, bytes))
    failed[sink] = true; // the rest of the text is dropped
}

void HandOverStatement(OutputStream stream, std::string_view text) {
  int sink = sink_of[Index(stream)];
  QueuedText* run = nullptr;
  if (apart) {
    for (QueuedText& text : queue)
      if (text.sink == sink)
        run = &text;
  } else if (!queue.empty() && queue.back().sink == sink) {
    run = &queue.back();
  }
  if (run == nullptr)
    run = &queue.emplace_back(QueuedText{sink, {}});
  std::string& bytes = run->bytes;
  std::size_t before = bytes.size();
  AppendShown(bytes, text);
  queued_size += bytes.size() - before;
  if (queued_size >= FlushSize || FlushDue())
    FlushOutput();
}

bool StandardOutputFailed() {
  return failed[sink_of[1]];
}

void FlushOutput() {
  for (const QueuedText& text : queue)
    WriteSinkNow(text.sink, text.bytes);
  queue.clear();
  queued_size = 0;
  last_flush = OutputClockNs();
}

void ReleaseWaitingOutput() {
  if (!queue.empty() && FlushDue())
    FlushOutput();
}

void WriteErrorReportLine(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  WriteSinkNow(0, text);
}
