#include "speech/AbsRecorder.h"

AbsRecorder::AbsRecorder(int sampleRate_, int numBlocks_, int numChannels_, int framesPerBuffer_,
                         int windowSize_, int step_)
    : sampleRate(sampleRate_),
      numBlocks(numBlocks_),
      numChannels(numChannels_),
      framesPerBuffer(framesPerBuffer_),
      windowSize(windowSize_ == 0 ? framesPerBuffer_ : windowSize_),
      step(step_ == 0 ? framesPerBuffer_ : step_) {
  data.writePos.store(0, std::memory_order_relaxed);
  data.channels = numChannels_;
  data.framesRecorded.store(0, std::memory_order_relaxed);
}

AbsRecorder::~AbsRecorder() = default;

void AbsRecorder::stop() {
  if (stream != nullptr) {
    closeStream();
    stream = nullptr;
  }
}
