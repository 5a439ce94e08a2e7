// frame_probe: what the end-to-end tests read of the frame loop. Nothing happens unless the
// environment asks for it, so the program's log and behaviour stay as they are.
//
//   StartFrameProbe();   // at start-up, after the renderer is initialised
//   ProbeFrame(windowW, windowH);   // after every swap, with the size the frame drew at
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
// VELLUMRY_UNCACHED_PREVIEW set: the brush pass runs straight into the window in every frame,
// as it did before the cache; the reference that the cache is compared with.
#pragma once

void StartFrameProbe();
void ProbeFrame(int windowWidth, int windowHeight);
