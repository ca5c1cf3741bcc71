#include "platform/console/key_stream.h"

#include <deque>

#include "platform/dos/key_bytes.h"

namespace {

bool input_ended = false;
std::deque<unsigned char> raw;  // bytes read and not yet turned into keys
std::deque<unsigned char> keys; // key codes, an extended key as 0 and its scan code

// How long the rest of an escape sequence or of a UTF-8 character may take to arrive.
constexpr int SequenceWaitMs = 50;

// Makes sure raw holds at least `count` bytes if they come soon.
bool HaveBytes(std::size_t count) {
  while (raw.size() < count && !input_ended) {
    std::size_t before = raw.size();
    ReadInput(SequenceWaitMs);
    if (raw.size() == before)
      break;
  }
  return raw.size() >= count;
}

} // namespace

void TakeInputBytes(const unsigned char* bytes, std::size_t count) {
  raw.insert(raw.end(), bytes, bytes + count);
}

void EndOfInput() {
  input_ended = true;
}

bool InputEnded() {
  return input_ended;
}

bool KeyWaiting() {
  return !keys.empty();
}

void AddKey(unsigned char code) {
  keys.push_back(code);
}

std::uint8_t TakeKey() {
  std::uint8_t key = keys.front();
  keys.pop_front();
  return key;
}

bool BytesWaiting() {
  return !raw.empty();
}

bool KeyFromBytes() {
  if (raw.empty()) {
    if (input_ended)
      return false;
    ReadInput(0);
    if (raw.empty())
      return false;
  }
  DecodeKeyBytes(raw, keys, HaveBytes);
  return !keys.empty();
}

bool AwaitKeyBytes() {
  if (raw.empty()) {
    if (input_ended)
      return false;
    ReadInput(-1);
    return true;
  }
  DecodeKeyBytes(raw, keys, HaveBytes);
  return true;
}
