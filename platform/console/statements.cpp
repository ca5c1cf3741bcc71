// Write statements on every system: the text of a statement collects here, one buffer a stream,
// and goes to the system's output whole when the statement ends. Here too: what a log keeps of
// the console stream, and the questions shown where the keys are typed when the stream is a log.
#include <string>

#include "platform/console.h"
#include "platform/console/process.h"
#include "platform/console/statement_output.h"
#include "platform/dos/result_codes.h"

namespace {

std::string statement[2];
bool write_failure_raised = false;

// A report line that could not be written is a failed write of the run: run-time error 101, raised
// once, by the CheckIoResult after the write statement.
void CheckStandardOutput() {
  if (!write_failure_raised && PendingIoResult == 0 && StandardOutputFailed()) {
    write_failure_raised = true;
    PendingIoResult = runerror::DiskWrite;
  }
}

bool log_line_open = false;

std::string question;    // console text since the last LeaveQuestion, not yet shown
bool answering = false;  // a key of the answer is awaited or was read: text is shown at once
bool shown_open = false; // the text shown for the question does not end its line yet

bool QuestionsMirrored() {
  return KeysAreTyped() && !ConsoleIsScreen();
}

// A log keeps no line clearing: no backspace, and no carriage return but the one of a line end.
std::string LogText(std::string_view text) {
  std::string kept;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\b' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
      continue;
    kept += c;
  }
  return kept;
}

void ShowQuestionText() {
  if (question.empty())
    return;
  FlushOutput(); // report lines written before the question come first
  ShowOnKeyboard(question);
  shown_open = question.back() != '\n';
  question.clear();
}

std::string& StatementOf(OutputStream stream) {
  return statement[stream == OutputStream::Console ? 0 : 1];
}

void HandOver(OutputStream stream) {
  std::string& text = StatementOf(stream);
  if (stream == OutputStream::Console && QuestionsMirrored()) {
    question += text;
    if (answering)
      ShowQuestionText();
  }
  if (stream == OutputStream::Console && !ConsoleIsScreen()) {
    std::string kept = LogText(text);
    if (!kept.empty())
      log_line_open = kept.back() != '\n';
    HandOverStatement(stream, kept);
  } else {
    HandOverStatement(stream, text);
  }
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

bool ConsoleLineOpen() {
  return log_line_open;
}

void ShowPendingOutput() {
  FlushOutput();
}

void ShowQuestion() {
  if (!QuestionsMirrored())
    return;
  answering = true;
  ShowQuestionText();
}

void LeaveQuestion() {
  if (answering && shown_open)
    ShowOnKeyboard("\r\n"); // the question's line is ended where it was shown
  answering = false;
  shown_open = false;
  question.clear();
}

void EchoWhereTyped(std::string_view text) {
  if (!QuestionsMirrored())
    return;
  ShowQuestionText();
  ShowOnKeyboard(text);
  shown_open = true;
}
