/* fbs-play: plays a WAV or MP3 file as a looped sound through the korvane
 * engine, changing its speed and pan on the way. An example of the engine
 * used as a C library: libkorvane-engine.so and engine/fbs.h.
 *
 * Usage: fbs-play FILE [SECONDS [PLUGOUT-FOLDER]]
 *
 * A third of the time at normal speed in the middle, a third faster on the
 * left, a third backward and slower on the right (6 seconds unless given).
 * The engine loads its output plug-outs (plug-sdl.so, plug-alsa.so) from
 * this program's folder, or from PLUGOUT-FOLDER: for an installed engine,
 *   pkg-config --variable=plugoutdir korvane-engine
 * Without a sound card:
 *   SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null fbs-play FILE */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include "engine/fbs.h"

static void wait_seconds(double seconds) {
    struct timespec left;
    left.tv_sec = (time_t)seconds;
    left.tv_nsec = (long)((seconds - (double)left.tv_sec) * 1e9);
    while (nanosleep(&left, &left) != 0) {
    }
}

static int is_mp3(const char* name) {
    const size_t length = strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".mp3") == 0;
}

/* Speed, pan and where in the wave the sound is. */
static void show(int wave, int sound, const char* what) {
    float speed = 0.0f;
    float pan = 0.0f;
    void* start = NULL;
    int channels = 0;
    void* position = NULL;
    FBS_GET_SOUNDSPEED(sound, &speed);
    FBS_GET_SOUNDPAN(sound, &pan);
    FBS_GET_WAVEPOINTERS(wave, &start, NULL, &channels);
    FBS_GET_SOUNDPOINTERS(sound, NULL, &position, NULL);
    const long frame = (long)(((const char*)position - (const char*)start) / (2 * channels));
    printf("%-9s speed %5.2f  pan %5.2f  at %.2f s\n", what, speed, pan, (double)frame / FBS_GET_PLUGRATE());
    fflush(stdout);
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: %s FILE [SECONDS [PLUGOUT-FOLDER]]\n", argv[0]);
        return 2;
    }
    const char* name = argv[1];
    double seconds = argc >= 3 ? strtod(argv[2], NULL) : 6.0;
    if (!(seconds > 0.0 && seconds < 86400.0)) {
        fprintf(stderr, "%s: SECONDS must be a positive number\n", argv[0]);
        return 2;
    }
    if (argc == 4) {
        /* The engine appends the plug-outs' names to the path as it is. */
        char folder[4096];
        const size_t length = strlen(argv[3]);
        if (length == 0 || length + 2 > sizeof folder) {
            fprintf(stderr, "%s: PLUGOUT-FOLDER is empty or too long\n", argv[0]);
            return 2;
        }
        memcpy(folder, argv[3], length + 1);
        if (folder[length - 1] != '/') {
            strcat(folder, "/");
        }
        FBS_SET_PLUGPATH(folder);
    }

    if (FBS_INIT(44100, 2, 3, 1024, 0) != 1) {
        fprintf(stderr, "no output driver: %s\n", FBS_GET_PLUGERROR());
        FBS_EXIT();
        return 1;
    }
    printf("output    %s (%s)\n", FBS_GET_PLUGNAME(), FBS_GET_PLUGDEVICE());

    int wave = -1;
    const int loaded = is_mp3(name) ? FBS_LOAD_MP3FILE(name, &wave, NULL) : FBS_LOAD_WAVFILE(name, &wave);
    int sound = -1;
    if (!loaded || FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound) != 1) {
        fprintf(stderr, "%s: not a playable WAV or MP3 file\n", name);
        FBS_EXIT();
        return 1;
    }
    int64_t milliseconds = 0;
    FBS_GET_WAVELENGTH(wave, &milliseconds);
    printf("wave      %s, %lld ms, looped\n", name, (long long)milliseconds);

    show(wave, sound, "playing");
    wait_seconds(seconds / 3.0);
    FBS_SET_SOUNDSPEED(sound, 1.5f);
    FBS_SET_SOUNDPAN(sound, -0.6f);
    show(wave, sound, "faster");
    wait_seconds(seconds / 3.0);
    FBS_SET_SOUNDSPEED(sound, -0.75f);
    FBS_SET_SOUNDPAN(sound, 0.6f);
    show(wave, sound, "backward");
    wait_seconds(seconds / 3.0);

    printf("played    %.2f s\n", FBS_GET_PLAYTIME());
    FBS_DESTROY_SOUND(&sound);
    FBS_DESTROY_WAVE(&wave);
    FBS_EXIT();
    return 0;
}
