#include "console/console_stream.h"

#include "platform/console.h"

void ConsolePut(std::string_view text) {
  WriteText(OutputStream::Console, text);
  CheckIoResult();
}

void ConsolePutNumber(std::int64_t number) {
  WriteNumber(OutputStream::Console, number);
  CheckIoResult();
}

void ConsoleEndLine() {
  EndLine(OutputStream::Console);
  CheckIoResult();
}

void ConsoleFlush() {
  FlushLine(OutputStream::Console);
  CheckIoResult();
}

void ConsoleWrite(std::string_view text) {
  ConsolePut(text);
  ConsoleFlush();
}

void ConsoleWriteLine(std::string_view text) {
  ConsolePut(text);
  ConsoleEndLine();
}

void StandardWriteLine(std::string_view prefix, std::string_view text) {
  WriteText(OutputStream::Standard, prefix);
  CheckIoResult();
  WriteText(OutputStream::Standard, text);
  CheckIoResult();
  EndLine(OutputStream::Standard);
  CheckIoResult();
}
