#include "platform/posix/terminal_encoding.h"

#include <cerrno>
#include <cstring>

namespace dartcirc {

bool OpenTerminalEncoder(TerminalEncoder& encoder) {
  encoder = TerminalEncoder{iconv_open("UTF-8", "CP932"), false, 0};
  return encoder.converter != reinterpret_cast<iconv_t>(-1);
}

std::uint32_t EncodeForTerminal(TerminalEncoder& encoder, const char* from, std::uint32_t count,
                                char* into) {
  char input[EncodeStepSize + 1];
  std::size_t inputLeft = 0;
  if (encoder.holdsLeadByte) input[inputLeft++] = encoder.leadByte;
  encoder.holdsLeadByte = false;
  std::memcpy(input + inputLeft, from, count);
  inputLeft += count;

  char* in = input;
  char* out = into;
  std::size_t outLeft = EncodedStepCapacity;
  while (inputLeft > 0 &&
         iconv(encoder.converter, &in, &inputLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if (errno == EINVAL && inputLeft == 1) {  // the trail byte is still to come
      encoder.holdsLeadByte = true;
      encoder.leadByte = *in;
      break;
    }
    *out++ = *in++;  // a byte that stands for no character is not lost
    --inputLeft;
    --outLeft;
  }
  return static_cast<std::uint32_t>(out - into);
}

std::uint32_t ReleaseLeadByte(TerminalEncoder& encoder, char* into) {
  if (!encoder.holdsLeadByte) return 0;
  encoder.holdsLeadByte = false;
  *into = encoder.leadByte;
  return 1;
}

}  // namespace dartcirc
