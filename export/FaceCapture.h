// The per-frame blendshape CSV of face-capture apps, which retargeting tools read:
//
//   Timecode,BlendShapeCount,EyeBlinkLeft,...,TongueOut,HeadYaw,...,RightEyeRoll
//   00:00:00:00.000,61,0,0,...
//
// The 52 face blendshapes in the order and capitalisation those apps write, then the head
// and eye rotations: 63 columns. One row per frame at fps frames per second, frame k at
// k / fps seconds taking the window whose centre is nearest (the frame rule of
// fapfile/FapFile.h), up to the end of the recording. The jaw and mouth columns hold our
// blendshapes (0..1, six decimals); the eyes, brows, cheeks, nose, tongue and rotations 0.
// Timecode: hours:minutes:seconds:frame.subframe, from 00:00:00:00.000; rows fall on
// whole frames, so the subframe is always .000.
#pragma once

#include <memory>
#include <string>

#include "export/Export.h"

inline constexpr int kFaceCaptureColumns = 63;
// The 52 blendshape names and 9 rotation names, in column order (after Timecode and
// BlendShapeCount).
extern const char* const kFaceCaptureNames[61];

// fps: 1..1000.
std::unique_ptr<FrameExport> makeFaceCaptureExport(int fps);
