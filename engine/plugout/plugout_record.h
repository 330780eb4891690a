/* The block of memory shared between the engine and one plug-out library.
 *
 * Separately built plug-outs read and write this record, so its layout is
 * binding and pinned below. Integer fields are 32-bit; handles and addresses
 * are pointer-sized. Plug-outs export the six PLUG_ entry points with C
 * linkage under exactly these names. */
#ifndef KORVANE_ENGINE_PLUGOUT_RECORD_H
#define KORVANE_ENGINE_PLUGOUT_RECORD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PlugoutRecord PlugoutRecord;

/* The engine's fill function: fills record->buffersize bytes at record->buffer.
 * Called by the plug-out on its own output thread. */
typedef void (*PLUG_FILLBUFFER)(PlugoutRecord* record);
typedef int (*PLUG_ISANY_FN)(PlugoutRecord* record);
typedef int (*PLUG_INIT_FN)(PlugoutRecord* record);
typedef int (*PLUG_START_FN)(void);
typedef int (*PLUG_STOP_FN)(void);
typedef int (*PLUG_EXIT_FN)(void);
typedef const char* (*PLUG_ERROR_FN)(void);

struct PlugoutRecord {
    void* library;              /* engine: handle of the loaded library */
    PLUG_ERROR_FN plug_error;   /* engine: entry points of the library */
    PLUG_ISANY_FN plug_isany;
    PLUG_INIT_FN plug_init;
    PLUG_START_FN plug_start;
    PLUG_STOP_FN plug_stop;
    PLUG_EXIT_FN plug_exit;
    uint8_t reserved1[8];       /* plug-out: not touched by the engine */
    PLUG_FILLBUFFER fillbuffer; /* engine */
    char name[64];              /* plug-out: zero-padded name */
    char device[64];            /* plug-out: zero-padded output device */
    int32_t framesize;          /* plug-out: bytes per frame */
    int32_t frames;             /* engine: frames per buffer */
    int32_t buffers;            /* engine: buffers to queue */
    int32_t buffersize;         /* plug-out: frames x framesize */
    void* buffer;               /* plug-out: buffer for the next fillbuffer call */
    uint8_t reserved2[4];       /* plug-out: not touched by the engine */
    int32_t rate;               /* engine: Hz */
    int32_t bits;               /* engine: always 16 */
    int32_t channels;           /* engine: 1 or 2 */
    int32_t issigned;           /* plug-out: 1 when samples are signed */
    int32_t deviceindex;        /* engine: passed through from FBS_INIT */
};

#define PLUGOUT_RECORD_CHECK(field, offset) \
    _Static_assert(offsetof(PlugoutRecord, field) == (offset), "PlugoutRecord layout: " #field)
#ifdef __cplusplus
#undef PLUGOUT_RECORD_CHECK
#define PLUGOUT_RECORD_CHECK(field, offset) \
    static_assert(offsetof(PlugoutRecord, field) == (offset), "PlugoutRecord layout: " #field)
#endif

#if UINTPTR_MAX == 0xffffffffffffffffu
PLUGOUT_RECORD_CHECK(library, 0);
PLUGOUT_RECORD_CHECK(plug_error, 8);
PLUGOUT_RECORD_CHECK(plug_isany, 16);
PLUGOUT_RECORD_CHECK(plug_init, 24);
PLUGOUT_RECORD_CHECK(plug_start, 32);
PLUGOUT_RECORD_CHECK(plug_stop, 40);
PLUGOUT_RECORD_CHECK(plug_exit, 48);
PLUGOUT_RECORD_CHECK(reserved1, 56);
PLUGOUT_RECORD_CHECK(fillbuffer, 64);
PLUGOUT_RECORD_CHECK(name, 72);
PLUGOUT_RECORD_CHECK(device, 136);
PLUGOUT_RECORD_CHECK(framesize, 200);
PLUGOUT_RECORD_CHECK(frames, 204);
PLUGOUT_RECORD_CHECK(buffers, 208);
PLUGOUT_RECORD_CHECK(buffersize, 212);
PLUGOUT_RECORD_CHECK(buffer, 216);
PLUGOUT_RECORD_CHECK(reserved2, 224);
PLUGOUT_RECORD_CHECK(rate, 228);
PLUGOUT_RECORD_CHECK(bits, 232);
PLUGOUT_RECORD_CHECK(channels, 236);
PLUGOUT_RECORD_CHECK(issigned, 240);
PLUGOUT_RECORD_CHECK(deviceindex, 244);
#ifdef __cplusplus
static_assert(sizeof(PlugoutRecord) == 248, "PlugoutRecord layout: size");
#else
_Static_assert(sizeof(PlugoutRecord) == 248, "PlugoutRecord layout: size");
#endif
#endif

#undef PLUGOUT_RECORD_CHECK

/* What a plug-out library exports. */
#define PLUG_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
}
#endif

#endif
