#include <algorithm>

#include "ReaderImage.h"
#include "link/Propeller.h"

static_assert(sizeof(ReaderImage) <= ImageSize, "the reader image must fit the image buffer");

void TPropeller::PrepareReaderImage() {
  FImage.fill(0);
  std::copy(std::begin(ReaderImage), std::end(ReaderImage), FImage.begin());
}

bool TPropeller::ReadEeprom() {
  PrepareReaderImage();
  ChecksumValid();  // writes the stack markers and the long count of the reader image
  if (!LoadImage(1)) {
    Out << FLastError << std::endl;
    return false;
  }
  return ReadFromRunningReader();
}
