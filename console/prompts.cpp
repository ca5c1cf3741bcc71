#include "console/prompts.h"

#include "console/console_stream.h"
#include "console/keyboard.h"
#include "platform/console.h"
#include "platform/dos/result_codes.h"

namespace {
constexpr char Spinner[4] = {'/', '-', '\\', '|'};
int spinner_index = 0;
constexpr std::string_view EraseSequence = "\b \b";
// The keys a question tells apart (the console's key codes).
constexpr std::uint8_t BackspaceKey = 8;
constexpr std::uint8_t EnterKey = 13;
constexpr std::uint8_t EscKey = 27;

// The failures with words of their own: run-time errors and device errors of file operations.
struct NumberInWords {
  std::int32_t number;
  std::string_view words;
};
constexpr NumberInWords FailureWords[] = {
    {runerror::DiskRead, "Problem reading from disk"},
    {dosresult::ReadFault, "Problem reading from disk"},
    {runerror::DiskWrite, "Problem writing to disk"},
    {dosresult::WriteFault, "Problem writing to disk"},
    {dosresult::DriveNotReady, "Drive not ready"},
    {runerror::NestedTooDeep, "Directories nested too deep!"},
    {runerror::UserBreak, "User interrupt via CNTRL-BREAK"},
};

// A log keeps no asterisks or erasing; where keys are typed they are shown all the same.
void Echo(std::string_view text) {
  if (ConsoleIsScreen())
    ConsoleWrite(text);
  else
    EchoWhereTyped(text);
}
} // namespace

void FatalMessage(PreliminaryAction action, std::string_view message) {
  if (action != nullptr)
    action();
  if (!message.empty()) {
    ClearLine();
    MarkRunFailed();
    ConsolePut("\rPROBLEM: ");
    ConsolePut(message);
    ConsoleEndLine();
  }
  HaltProgram(0);
}

std::string FailureSentence(std::int32_t code) {
  for (const NumberInWords& known : FailureWords)
    if (known.number == code)
      return std::string(known.words);
  return "Unexpected error " + std::to_string(code) +
         " occurred. Please check your DOS manual for details.";
}

int ScreenWidth() {
  int columns = ConsoleColumns();
  return columns > 0 && columns < 80 ? columns : 80;
}

void ClearLine() {
  if (ConsoleIsScreen()) {
    // One blank less than the width, so that the cursor stays on the line.
    ConsolePut("\r");
    WriteChar(OutputStream::Console, ' ', ScreenWidth() - 1);
    CheckIoResult();
    ConsolePut("\r");
    ConsoleFlush();
  } else if (ConsoleLineOpen()) {
    ConsoleEndLine(); // a log keeps each line once, ended
  }
  LeaveQuestion();
}

bool AskYesNo() {
  ShowQuestion();
  std::uint8_t key = static_cast<std::uint8_t>(UpperCaseChar(static_cast<char>(ReadKeyLatin())));
  if (key == 0) {
    ReadKeyLatin(); // the second byte of an extended key
    return false;
  }
  return key == 'Y';
}

bool EscPressed() {
  CheckUserInterrupt();
  ReleaseWaitingOutput();
  if (!KeyAvailable())
    return false;
  std::uint8_t key = ReadKeyChar();
  if (key == 0) {
    ReadKeyChar();
    return false;
  }
  return key == EscKey;
}

void FlushKeys() {
  if (!KeysAreTyped())
    return;
  while (KeyAvailable())
    ReadKeyChar();
}

void SpinnerStep() {
  if (!ConsoleIsScreen())
    return;
  ConsolePut("\b");
  WriteChar(OutputStream::Console, Spinner[spinner_index]);
  CheckIoResult();
  ConsoleFlush();
  spinner_index = (spinner_index + 1) % 4;
}

std::string ReadMasked(int maximum) {
  std::string text;
  for (;;) {
    ShowQuestion();
    std::uint8_t key = ReadKeyChar();
    if (key == BackspaceKey) {
      if (!text.empty()) {
        text.pop_back();
        Echo(EraseSequence);
        // A 0 stands for the unechoed first byte of an extended key.
        if (!text.empty() && text.back() == '\0')
          text.pop_back();
      }
    } else if (key == EnterKey) {
      return text;
    } else if (key == EscKey) {
      return std::string(1, '\0');
    } else if (static_cast<int>(text.size()) < maximum) {
      text += static_cast<char>(key);
      if (key != 0)
        Echo("*");
    }
  }
}

std::string_view ChooseByCount(std::int64_t count, std::string_view one, std::string_view several) {
  return count == 1 || count == -1 ? one : several;
}
