/* The sound engine's interface: the FBS_ functions, with C linkage.
 *
 * Results are 1 for success and 0 for failure or refusal; getters write
 * through caller-supplied addresses and refuse a null address. Every
 * function is called from the program's main thread unless marked. Text
 * results point at engine-owned copies that stay valid until the next call
 * of the same function. */
#ifndef KORVANE_ENGINE_FBS_H
#define KORVANE_ENGINE_FBS_H

#include <stdint.h>

#ifndef FBS_API
#define FBS_API __attribute__((visibility("default")))
#endif

#include "engine/plugout/plugout_record.h"
#include "engine/primitives/primitives.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Master and stream callbacks: (first sample, channels, frames). They run on
 * the output thread inside the fill call and may rewrite the samples; they
 * must not call FBS_INIT, FBS_STOP, FBS_EXIT or FBS_END_MP3STREAM, which
 * wait for the fill call to return. */
typedef int (*FBS_CALLBACK)(void* buffer, int channels, int frames);
/* The host's key reader: 0 when no key waits, 1..255 a character,
 * 256 + scan code for an extended key. */
typedef int (*FBS_KEYREADER)(void);

/* Lifecycle and plug-outs */
FBS_API int FBS_INIT(int rate, int channels, int buffers, int frames, int deviceindex);
FBS_API int FBS_START(void);
FBS_API int FBS_STOP(void);
FBS_API int FBS_EXIT(void);
FBS_API int FBS_GET_NUMOFPLUGOUTS(void);
FBS_API const char* FBS_GET_PLUGNAME(void);
FBS_API const char* FBS_GET_PLUGDEVICE(void);
FBS_API const char* FBS_GET_PLUGERROR(void);
FBS_API int FBS_GET_PLUGBUFFERSIZE(void);
FBS_API int FBS_GET_PLUGBUFFERS(void);
FBS_API int FBS_GET_PLUGFRAMESIZE(void);
FBS_API int FBS_GET_PLUGFRAMES(void);
FBS_API int FBS_GET_PLUGRATE(void);
FBS_API int FBS_GET_PLUGBITS(void);
FBS_API int FBS_GET_PLUGCHANNELS(void);
FBS_API int FBS_GET_PLUGSIGNED(void);
FBS_API int FBS_GET_PLUGRUNNING(void);
FBS_API int FBS_SET_PLUGPATH(const char* path);
FBS_API const char* FBS_GET_PLUGPATH(void);
FBS_API int FBS_SET_MAXCHANNELS(int n);
FBS_API int FBS_GET_MAXCHANNELS(int* n);
FBS_API int FBS_SET_MASTERVOLUME(float volume);
FBS_API int FBS_GET_MASTERVOLUME(float* volume);
FBS_API int64_t FBS_GET_PLAYEDBYTES(void);
FBS_API int64_t FBS_GET_PLAYEDSAMPLES(void);
FBS_API double FBS_GET_PLAYTIME(void);
/* Safe on the output thread (the master callback reads it). */
FBS_API int FBS_GET_PLAYINGSOUNDS(void);
FBS_API int FBS_GET_PLAYINGSTREAMS(void);
FBS_API int FBS_SET_KEYREADER(FBS_KEYREADER reader);
FBS_API int FBS_GET_KEYCODE(void);

/* Host-driven output: with it enabled, discovery yields one built-in output
 * (name "host") with the same record and entry points, and no thread: the
 * host asks for each buffer. A pull waits for the decoder instead of
 * inserting silence. Enable before FBS_INIT (or after FBS_EXIT). */
FBS_API int FBS_USE_HOSTOUTPUT(int enable);
/* Fills the next buffer; stores its address, returns its size in bytes
 * (0 when the host output is not in use and running). */
FBS_API int FBS_HOST_PULLBUFFER(const void** buffer);

/* Mixer callbacks */
FBS_API int FBS_SET_MASTERCALLBACK(FBS_CALLBACK callback);
FBS_API int FBS_ENABLE_MASTERCALLBACK(void);
FBS_API int FBS_DISABLE_MASTERCALLBACK(void);
FBS_API int FBS_SET_STREAMCALLBACK(FBS_CALLBACK callback);
FBS_API int FBS_ENABLE_STREAMCALLBACK(void);
FBS_API int FBS_DISABLE_STREAMCALLBACK(void);
/* Sound callbacks are stored per live sound; the mixer does not call them. */
FBS_API int FBS_SET_SOUNDCALLBACK(int sound, FBS_CALLBACK callback);
FBS_API int FBS_ENABLE_SOUNDCALLBACK(int sound);
FBS_API int FBS_DISABLE_SOUNDCALLBACK(int sound);

/* MP3 stream */
FBS_API int FBS_CREATE_MP3STREAM(const char* name);
FBS_API int FBS_PLAY_MP3STREAM(float volume, float pan);
FBS_API int FBS_END_MP3STREAM(void);
FBS_API int FBS_SET_STREAMVOLUME(float volume);
FBS_API int FBS_GET_STREAMVOLUME(float* volume);
FBS_API int FBS_SET_STREAMPAN(float pan);
FBS_API int FBS_GET_STREAMPAN(float* pan);
FBS_API int FBS_GET_STREAMBUFFER(void** buffer, int* channels, int* frames);

#ifdef __cplusplus
}
#endif

#endif
