// Write statements on every system: the text of a statement collects here, one buffer a stream,
// and goes to the system's output whole when the statement ends.
#include <string>

#include "platform/console.h"
#include "platform/process.h"
#include "platform/result_codes.h"
#include "platform/statement_output.h"

namespace {

std::string statement[2];
bool write_failure_raised = false;

// A report line that could not be written is a failed write of the run: run-time error 101, raised
// once, by the CheckIoResult after the write statement.
void CheckStandardOutput() {
  if (!write_failure_raised && PendingIoResult == 0 && StandardOutputFailed()) {
    write_failure_raised = true;
    PendingIoResult = 101;
  }
}

std::string& StatementOf(OutputStream stream) {
  return statement[stream == OutputStream::Console ? 0 : 1];
}

void HandOver(OutputStream stream) {
  std::string& text = StatementOf(stream);
  HandOverStatement(stream, text);
  text.clear();
  CheckStandardOutput();
}

} // namespace

void WriteText(OutputStream stream, std::string_view text, int width) {
  if (PendingIoResult != 0)
    return;
  std::string& line = StatementOf(stream);
  if (width > static_cast<int>(text.size()))
    line.append(static_cast<std::size_t>(width) - text.size(), ' ');
  line += text;
}

void WriteChar(OutputStream stream, char c, int width) {
  WriteText(stream, std::string_view(&c, 1), width);
}

void WriteNumber(OutputStream stream, std::int64_t number, int width) {
  WriteText(stream, std::to_string(number), width);
}

void EndLine(OutputStream stream) {
  if (PendingIoResult != 0)
    return;
  StatementOf(stream) += "\r\n";
  HandOver(stream);
}

void FlushLine(OutputStream stream) {
  HandOver(stream);
  // The report lines are written out now, so that a failed write shows where it happened.
  if (stream == OutputStream::Standard) {
    FlushOutput();
    CheckStandardOutput();
  }
}
