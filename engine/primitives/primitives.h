/* Sample-buffer primitives and processor detection, exported by the engine.
 *
 * Buffers hold interleaved signed 16-bit samples and are addressed by start
 * address and a size in bytes. A name ending in 16 works on 2-byte frames
 * (mono), one ending in 32 on 4-byte frames (stereo). Gains, speeds and
 * ratios are applied as 16.16 fixed point: round(value x 65536). A call whose
 * precondition fails does nothing; overflow always saturates to
 * -32768..32767. None of them allocates, locks or calls the system, so all
 * are safe on the audio thread. */
#ifndef KORVANE_ENGINE_PRIMITIVES_H
#define KORVANE_ENGINE_PRIMITIVES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef FBS_API
#define FBS_API __attribute__((visibility("default")))
#endif

/* Processor features, detected once; each 0 or 1. */
FBS_API int ISFPU(void);
FBS_API int ISTSC(void);
FBS_API int ISCMOV(void);
FBS_API int ISMMX(void);
FBS_API int ISMMX2(void);
FBS_API int ISSSE(void);
FBS_API int ISSSE2(void);
FBS_API int IS3DNOW(void);
FBS_API int IS3DNOW2(void);
/* Beyond the classic flags: what the vector variants are chosen by. */
FBS_API int ISAVX2(void);
/* Measured clock in MHz, 0 when the measurement failed. */
FBS_API int MHZ(void);
/* Cycle count: the time-stamp counter, or the timer x mhz x 1e6 without one. */
FBS_API int64_t CPUCOUNTER(void);

FBS_API void ZERO(void* buf, int size);
FBS_API void ZEROBUFFER(void* ringstart, void** pos, void* ringend, int size);
FBS_API void COPY(void* dst, const void* src, int size);
FBS_API void MIX16(void* dst, const void* a, const void* b, int size);
FBS_API void SCALE16(void* dst, const void* src, float gain, int size);
FBS_API void PAN16(void* dst, const void* src, float leftgain, float rightgain, int size);

/* Looping playback of a wave: pos is a byte address inside [loopstart, loopend). */
FBS_API void COPYRIGHT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int size);
FBS_API void COPYRIGHT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int size);
FBS_API void MOVERIGHT16(void* loopstart, void** pos, void* loopend, int* loops, int size);
FBS_API void MOVERIGHT32(void* loopstart, void** pos, void* loopend, int* loops, int size);
FBS_API void COPYSLICERIGHT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void COPYSLICERIGHT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void COPYSLICELEFT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void COPYSLICELEFT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void MOVESLICERIGHT16(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void MOVESLICERIGHT32(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void MOVESLICELEFT16(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);
FBS_API void MOVESLICELEFT32(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size);

/* Decoded MP3 frames into the stream ring; pos wraps from ringend to ringstart. */
FBS_API void COPYMP3FRAME(void* ringstart, void** pos, void* ringend, const void* src, int size);
FBS_API void COPYSLICEMP3FRAME16(void* ringstart, void** pos, void* ringend, const void* src, float ratio, int size);
FBS_API void COPYSLICEMP3FRAME32(void* ringstart, void** pos, void* ringend, const void* src, float ratio, int size);
/* libmad fixed point (28 fraction bits) to 16-bit: channels in, channels out. */
FBS_API void SCALEMP3FRAME_22_16(void* dst, const int32_t* left, const int32_t* right, int count);
FBS_API void SCALEMP3FRAME_21_16(void* dst, const int32_t* left, const int32_t* right, int count);
FBS_API void SCALEMP3FRAME_12_16(void* dst, const int32_t* mono, int count);
FBS_API void SCALEMP3FRAME_11_16(void* dst, const int32_t* mono, int count);

#ifdef __cplusplus
}
#endif

#endif
