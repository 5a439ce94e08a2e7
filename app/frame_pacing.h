// frame_pacing: when the frame loop draws its next frame. While something moves on its own (an
// export rendered a few tiles a frame) the next frame comes at once; while something shows time
// passing (a file loading, an export being written, the confirmation fading, the original shown
// while C is held, a text field's cursor) at most one a display refresh; otherwise the program
// rests until the next event, so that an idle window costs next to nothing.
//
//   FramePace pace = ChooseFramePace(ReadFrameActivity(settleFramesLeft));   // after a frame
//   WaitForFrame(pace);                                                      // before the next
//
// Every event, and the end of every activity, is followed by a few frames (SettleFrames), so that
// what it started shows in full: the interface's windows take a frame or two to find their size
// (the Options window that a picture opens), a menu opened on a click, an export started in the
// frame after its file was chosen. A resize, an expose, a drop, a key or
// the pointer are events and wake the loop; a decoder's answer is asked for at the animation's
// pace, as the loading indicator turns meanwhile. The frame probe may ask for frames too
// (app/frame_probe.h). Main thread only.
#pragma once

enum FramePace { FRAME_PACE_NOW, FRAME_PACE_ANIMATION, FRAME_PACE_REST };

struct FrameActivity {
    int SettleFramesLeft;  // frames still owed to the latest event
    bool ExportRendering;  // the export's picture is rendered a few tiles a frame
    bool ProbeWantsFrames;
    bool Loading;          // a file decodes, or a decoder given up on has still to be reaped
    bool ExportShown;      // an export is prepared or written, or its confirmation fades
    bool CompareHeld;      // C shows the original picture
    bool Typing;           // a text field takes the keyboard: its cursor blinks
    bool SettingsWaiting;  // a change to the kept settings waits for its write
};

FramePace ChooseFramePace(const FrameActivity& activity);
// Whether something shows time passing or moves on its own: the frames after it ends are owed
// too, as after an event (the picture that arrives, the strip that goes).
bool FrameActivityBusy(const FrameActivity& activity);
// False: every frame comes at once, as the loop drew before it rested (the reference of the
// benchmarks; VELLUMRY_RESTLESS_LOOP set, app/frame_probe.h).
extern bool FrameLoopRests;
// The program's activity as the frame that has just been drawn leaves it.
FrameActivity ReadFrameActivity(int settleFramesLeft);
// Returns at once, after an event or one display refresh at most, or after the next event.
void WaitForFrame(FramePace pace);

constexpr int SettleFrames = 3;
// One refresh of a 60 Hz display.
constexpr int AnimationFrameMilliseconds = 16;
