// frame_probe: what the end-to-end tests read of the frame loop. Nothing happens unless the
// environment asks for it, so the program's log and behaviour stay as they are.
//
//   StartFrameProbe();   // at start-up, after the renderer is initialised
//   TakeProbeEvent(event);          // with the frame's events: a test asking for frames
//   ProbeFrame(windowW, windowH);   // after every swap, with the size the frame drew at
//   if (!ProbeWantsFrames()) { ProbeRest(); wait(); }   // before the loop rests (app/frame_pacing.h)
//
// VELLUMRY_FRAME_PROBE set (to anything): every frame writes one line on the standard error
// stream, what the frame drew with and what it leaves for the next:
//   "[Probe]: frame <F> paints <P> window <W> <H> picture <PW> <PH> slots <S> brush <O> <S> <B>"
// F counts the frames from 1, P the brush pass's paints so far, W x H is the window size the
// frame drew at; the rest is as the frame ends: the picture's size (0 0 while there is none),
// the texture slots' change counter and the parameters, printed exactly (%.9g). A test counts
// paints over frames, and checks when they happen, without any timing.
// While an export is prepared, rendered or written, a second line follows the frame's:
//   "[Probe]: frame <F> exporting <E>", or "[Probe]: frame <F> exporting <E> rendering"
// where E is the bar's share as the frame showed it, in whole percent, and "rendering" says that
// the picture was still being rendered as the frame ended; while
// the confirmation that follows shows, "[Probe]: frame <F> saved".
// When the loop rests, waiting for the next event with nothing to show, one more line:
//   "[Probe]: frame <F> rests"
// after the line of the frame F it rests after. A test asks for frames by writing a number and a
// line feed on the program's standard input (read on a thread of the probe's own, which pushes
// an event, so a resting loop wakes): the loop then draws at least that many more frames before
// it rests again, so a test that waits for frames gets them, input or none.
// VELLUMRY_UNCACHED_PREVIEW set: the brush pass runs straight into the window in every frame,
// as it did before the cache; the reference that the cache is compared with.
// VELLUMRY_RESTLESS_LOOP set: the loop never rests, every frame comes at once, as before it
// rested (app/frame_pacing.h); the reference of the idle benchmark.
#pragma once

#include <SDL.h>

void StartFrameProbe();
void ProbeFrame(int windowWidth, int windowHeight);
// Answers whether the event was the probe's (a test's request for frames).
bool TakeProbeEvent(const SDL_Event& event);
// Whether frames asked for are still to be drawn.
bool ProbeWantsFrames();
// The loop is about to rest.
void ProbeRest();
