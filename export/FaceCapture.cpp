#include "export/FaceCapture.h"

#include <cassert>
#include <cctype>
#include <cstring>

#include "fapfile/FapFile.h"

const char* const kFaceCaptureNames[61] = {"EyeBlinkLeft",
                                           "EyeLookDownLeft",
                                           "EyeLookInLeft",
                                           "EyeLookOutLeft",
                                           "EyeLookUpLeft",
                                           "EyeSquintLeft",
                                           "EyeWideLeft",
                                           "EyeBlinkRight",
                                           "EyeLookDownRight",
                                           "EyeLookInRight",
                                           "EyeLookOutRight",
                                           "EyeLookUpRight",
                                           "EyeSquintRight",
                                           "EyeWideRight",
                                           "JawForward",
                                           "JawRight",
                                           "JawLeft",
                                           "JawOpen",
                                           "MouthClose",
                                           "MouthFunnel",
                                           "MouthPucker",
                                           "MouthRight",
                                           "MouthLeft",
                                           "MouthSmileLeft",
                                           "MouthSmileRight",
                                           "MouthFrownLeft",
                                           "MouthFrownRight",
                                           "MouthDimpleLeft",
                                           "MouthDimpleRight",
                                           "MouthStretchLeft",
                                           "MouthStretchRight",
                                           "MouthRollLower",
                                           "MouthRollUpper",
                                           "MouthShrugLower",
                                           "MouthShrugUpper",
                                           "MouthPressLeft",
                                           "MouthPressRight",
                                           "MouthLowerDownLeft",
                                           "MouthLowerDownRight",
                                           "MouthUpperUpLeft",
                                           "MouthUpperUpRight",
                                           "BrowDownLeft",
                                           "BrowDownRight",
                                           "BrowInnerUp",
                                           "BrowOuterUpLeft",
                                           "BrowOuterUpRight",
                                           "CheekPuff",
                                           "CheekSquintLeft",
                                           "CheekSquintRight",
                                           "NoseSneerLeft",
                                           "NoseSneerRight",
                                           "TongueOut",
                                           "HeadYaw",
                                           "HeadPitch",
                                           "HeadRoll",
                                           "LeftEyeYaw",
                                           "LeftEyePitch",
                                           "LeftEyeRoll",
                                           "RightEyeYaw",
                                           "RightEyePitch",
                                           "RightEyeRoll"};

namespace {

class FaceCaptureExport : public FrameExport {
 public:
  explicit FaceCaptureExport(int fps) : fps_(fps) {
    // Column c takes our blendshape source_[c], or none (-1): the names differ only in
    // their first letter's case.
    for (int c = 0; c < 61; ++c) {
      source_[c] = -1;
      for (int b = 0; b < ZARVO_BLENDSHAPES; ++b) {
        const char* ours = zarvo_blendshape_name(b);
        if (std::toupper(static_cast<unsigned char>(ours[0])) == kFaceCaptureNames[c][0] &&
            std::strcmp(ours + 1, kFaceCaptureNames[c] + 1) == 0)
          source_[c] = b;
      }
    }
  }

  bool add(const zarvo_frame& f, TextWriter& out) override {
    if (f.index != windows_)
      return fail("window " + std::to_string(f.index) + " came where " + std::to_string(windows_) +
                  " was due");
    if (windows_ == 0) header(out);
    std::memcpy(last_, f.blendshapes, sizeof last_);
    while (fapWindowForFrame(rows_, fps_) <= windows_) row(out);
    ++windows_;
    return true;
  }

  bool finish(long long samples, TextWriter& out) override {
    if (windows_ == 0) header(out);
    const long long total = windows_ > 0 ? fapFrameCount(samples, fps_) : 0;
    while (rows_ < total) row(out);
    return true;
  }

 private:
  void header(TextWriter& out) {
    out.put("Timecode,BlendShapeCount");
    for (const char* n : kFaceCaptureNames) {
      out.put(',');
      out.put(n);
    }
    out.put('\n');
  }

  void two(TextWriter& out, long long v) {
    if (v < 10) out.put('0');
    out.putInt(v);
  }

  void row(TextWriter& out) {
    const long long k = rows_++;
    const long long s = k / fps_;
    two(out, s / 3600);
    out.put(':');
    two(out, s / 60 % 60);
    out.put(':');
    two(out, s % 60);
    out.put(':');
    two(out, k % fps_);
    out.put(".000,61");
    for (int c : source_) {
      if (c < 0) {
        out.put(",0");
      } else {
        out.put(',');
        out.putFixed(last_[c], 6);
      }
    }
    out.put('\n');
  }

  int fps_;
  int source_[61];
  float last_[ZARVO_BLENDSHAPES] = {};
  long long windows_ = 0, rows_ = 0;
};

}  // namespace

std::unique_ptr<FrameExport> makeFaceCaptureExport(int fps) {
  return std::make_unique<FaceCaptureExport>(fps);
}
