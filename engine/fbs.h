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
/* hold 1 holds the stream where it is: the mixer takes no more of it (the
 * output is silent), the decoder stops once the ring is full, and the stream
 * still counts as playing. hold 0 resumes it from the buffer that would have
 * come next. 0 when no stream is active. Ending the stream (or creating the
 * next one) clears the hold. */
FBS_API int FBS_PAUSE_MP3STREAM(int hold);
FBS_API int FBS_SET_STREAMVOLUME(float volume);
FBS_API int FBS_GET_STREAMVOLUME(float* volume);
FBS_API int FBS_SET_STREAMPAN(float pan);
FBS_API int FBS_GET_STREAMPAN(float* pan);
FBS_API int FBS_GET_STREAMBUFFER(void** buffer, int* channels, int* frames);

/* Waves and sounds
 *
 * A wave is a block of samples in the output format (16-bit, the plug-out's
 * channels and rate); a sound plays a wave in a slot with its own position,
 * loop range, passes, speed, volume, pan, mute and pause. Handles are array
 * indices; -1 marks an invalid one. A function that hands out a handle writes
 * -1 there when it fails (allocation failures included). Sizes and lengths
 * that can pass 2^31 are 64-bit. None of these may be called from a master or
 * stream callback: destroying waits for the fill call in progress. */

/* A WAV image in memory (the input of FBS_LOAD_WAVFILE_SHORT): these two
 * addresses, then the bytes of a WAV file (a canonical 44-byte header and the
 * samples) up to endaddress. */
typedef struct FBS_WAVIMAGE {
    unsigned char* writeaddress; /* where the next bytes go while the image is filled */
    unsigned char* endaddress;   /* one past the image's last byte */
} FBS_WAVIMAGE;

/* frames zeroed output frames, for the caller to fill through *samples. */
FBS_API int FBS_CREATE_WAVE(int frames, int* wave, void** samples);
/* PCM WAV (8-bit unsigned or 16-bit signed), converted to the output format
 * at about half amplitude; a file shorter than its header claims loads what
 * it holds. */
FBS_API int FBS_LOAD_WAVFILE(const char* name, int* wave);
FBS_API int FBS_LOAD_WAVFILE_SHORT(const void* image, int* wave);
/* Through a temporary WAV file named tmpname, or, when tmpname is null or
 * empty, made in the system's temporary folder; removed in every case. */
FBS_API int FBS_LOAD_MP3FILE(const char* name, int* wave, const char* tmpname);
/* Through a memory image of imagesize bytes (100000..100000000); with report
 * non-zero, prints the image bytes used and any truncation on standard
 * output. */
FBS_API int FBS_LOAD_MP3FILE_SHORT(const char* name, int* wave, int imagesize, int report);
/* Stops and frees every sound of the wave, then the wave. */
FBS_API int FBS_DESTROY_WAVE(int* wave);
FBS_API int FBS_GET_WAVEPOINTERS(int wave, void** start, void** end, int* channels);
FBS_API int FBS_GET_WAVELENGTH(int wave, int64_t* milliseconds);

/* loops below 1 play endlessly; a null sound address makes a sound that
 * frees its slot when it ends. Speeds: negative plays backward, limited to
 * -16383..16383, 0 plays at 1. */
FBS_API int FBS_PLAY_WAVE(int wave, int loops, float speed, float volume, float pan, int* sound);
/* A sound ready to play (FBS_PLAY_SOUND or FBS_SET_SOUNDLOOPS starts it). */
FBS_API int FBS_CREATE_SOUND(int wave, int* sound);
FBS_API int FBS_PLAY_SOUND(int sound, int loops);
FBS_API int FBS_DESTROY_SOUND(int* sound);
FBS_API int FBS_SET_SOUNDSPEED(int sound, float speed);
FBS_API int FBS_GET_SOUNDSPEED(int sound, float* speed);
FBS_API int FBS_SET_SOUNDVOLUME(int sound, float volume);
FBS_API int FBS_GET_SOUNDVOLUME(int sound, float* volume);
FBS_API int FBS_SET_SOUNDPAN(int sound, float pan);
FBS_API int FBS_GET_SOUNDPAN(int sound, float* pan);
/* Negative: endless; 0 stops the sound at once. */
FBS_API int FBS_SET_SOUNDLOOPS(int sound, int loops);
FBS_API int FBS_GET_SOUNDLOOPS(int sound, int* loops);
FBS_API int FBS_SET_SOUNDMUTED(int sound, int muted);
FBS_API int FBS_GET_SOUNDMUTED(int sound, int* muted);
FBS_API int FBS_SET_SOUNDPAUSED(int sound, int paused);
FBS_API int FBS_GET_SOUNDPAUSED(int sound, int* paused);
/* Any output address may be null. */
FBS_API int FBS_GET_SOUNDPOINTERS(int sound, void** loopstart, void** position, void** loopend);
/* Any of the three may be null (left as it is). Each is kept inside the
 * wave on a frame boundary; the loop is at least one frame long, its ends
 * swapped when given the wrong way round. */
FBS_API int FBS_SET_SOUNDPOINTERS(int sound, void* loopstart, void* position, void* loopend);
/* One pass of the loop at the sound's speed, times its passes when more
 * than one; 0 below one frame per second. */
FBS_API int FBS_GET_SOUNDLENGTH(int sound, int64_t* milliseconds);

#ifdef __cplusplus
}
#endif

#endif
