/* Small LV2 plugins for the host's tests. Each does one simple, exactly
 * predictable thing; see tolvex-test.ttl for their ports. */
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define PREFIX "urn:tolvex:test:"

#define MAX_DELAY 65536
#define BIG 100000

/* One struct for every plugin: its ports, indexed as in the Turtle, and
 * what any of them keeps. */
typedef struct {
    void* port[16];
    float line[2][MAX_DELAY];
    uint32_t pos;
    float seen, big, blob;
    int first;
    LV2_URID key;
    LV2_Worker_Schedule* schedule;
    LV2_URID_Map* map;
    LV2_State_Make_Path* makePath;
} Plugin;

#define IN(h, i) ((const float*)((Plugin*)(h))->port[i])
#define OUT(h, i) ((float*)((Plugin*)(h))->port[i])

static LV2_Handle instantiate(const LV2_Descriptor* d, double rate, const char* path,
                              const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path;
    Plugin* p = calloc(1, sizeof(Plugin));
    for (int i = 0; features[i]; ++i) {
        if (!strcmp(features[i]->URI, LV2_WORKER__schedule))
            p->schedule = features[i]->data;
        else if (!strcmp(features[i]->URI, LV2_URID__map))
            p->map = features[i]->data;
        else if (!strcmp(features[i]->URI, LV2_STATE__makePath))
            p->makePath = features[i]->data;
    }
    p->first = 1;
    return p;
}

static void connect_any(LV2_Handle h, uint32_t port, void* data)
{
    if (port < 16)
        ((Plugin*)h)->port[port] = data;
}

static void clear(LV2_Handle h)
{
    Plugin* p = (Plugin*)h;
    memset(p->line, 0, sizeof(p->line));
    p->pos = 0;
}

/* Out port `out` + c = in port `in` + c times `factor`, for `count` channels. */
static void scale(LV2_Handle h, int in, int out, int count, float factor, uint32_t n)
{
    for (int c = 0; c < count; ++c)
        for (uint32_t i = 0; i < n; ++i)
            OUT(h, out + c)[i] = IN(h, in + c)[i] * factor;
}

/* gain: stereo; monogain and late: one in, one out. */
static void gain_run(LV2_Handle h, uint32_t n)
{
    scale(h, 0, 2, 2, *IN(h, 4), n);
}

static void mono_run(LV2_Handle h, uint32_t n)
{
    scale(h, 0, 1, 1, *IN(h, 2), n);
}

/* tail (mono, of the reverb class), midifx (stereo with a MIDI input, a
 * music effect) and mixer8 (eight channels) pass the sound. */
static void tail_run(LV2_Handle h, uint32_t n)
{
    scale(h, 0, 1, 1, 1.0f, n);
}

static void midifx_run(LV2_Handle h, uint32_t n)
{
    scale(h, 1, 3, 2, 1.0f, n);
}

static void mixer8_run(LV2_Handle h, uint32_t n)
{
    scale(h, 0, 8, 8, 1.0f, n);
}

/* ---- delay: stereo, delays by `frames` and reports it as latency ------ */

static void delay_run(LV2_Handle h, uint32_t n)
{
    Plugin* p = (Plugin*)h;
    const uint32_t d = *IN(h, 4) < MAX_DELAY ? (uint32_t)*IN(h, 4) : MAX_DELAY - 1;
    for (uint32_t i = 0; i < n; ++i, p->pos = (p->pos + 1) % MAX_DELAY)
        for (int c = 0; c < 2; ++c) {
            p->line[c][p->pos] = IN(h, c)[i];
            OUT(h, 2 + c)[i] = p->line[c][(p->pos + MAX_DELAY - d) % MAX_DELAY];
        }
    *OUT(h, 5) = (float)d;
}

/* ---- state: stereo, out = in * (1 + blob). A `level` change goes to the
 * worker, which answers twice: first with the level in a response of BIG
 * bytes (the rest a pattern), then with the level alone; blob becomes their
 * sum. The blob is saved as state; saving also makes a file through
 * make_path. run() maps the blob's key, known since instantiate, as plugins
 * that map in run() do. ---------------------------------------------------- */

static LV2_URID blob_key(Plugin* s)
{
    return s->map->map(s->map->handle, PREFIX "state#blob");
}

static LV2_Handle state_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                    const LV2_Feature* const* features)
{
    Plugin* s = instantiate(d, rate, path, features);
    if (!s->schedule || !s->map) {
        free(s);
        return NULL;
    }
    s->key = blob_key(s);
    return s;
}

static void state_run(LV2_Handle h, uint32_t n)
{
    Plugin* s = (Plugin*)h;
    if (!s->first && *IN(h, 4) != s->seen && blob_key(s) == s->key)
        s->schedule->schedule_work(s->schedule->handle, sizeof(float), IN(h, 4));
    s->first = 0;
    s->seen = *IN(h, 4);
    scale(h, 0, 2, 2, 1.0f + s->blob, n);
}

static LV2_Worker_Status state_work(LV2_Handle h, LV2_Worker_Respond_Function respond,
                                    LV2_Worker_Respond_Handle handle, uint32_t size,
                                    const void* data)
{
    (void)h;
    static char big[BIG];
    memset(big, 0x5a, BIG);
    memcpy(big, data, sizeof(float));
    respond(handle, BIG, big);
    return respond(handle, size, data);
}

static LV2_Worker_Status state_work_response(LV2_Handle h, uint32_t size, const void* data)
{
    Plugin* s = (Plugin*)h;
    const char* bytes = data;
    if (size == BIG && bytes[sizeof(float)] == 0x5a && bytes[BIG - 1] == 0x5a)
        memcpy(&s->big, data, sizeof(float));
    else if (size == sizeof(float))
        s->blob = *(const float*)data + s->big;
    return LV2_WORKER_SUCCESS;
}

static LV2_State_Status state_save(LV2_Handle h, LV2_State_Store_Function store,
                                   LV2_State_Handle handle, uint32_t flags,
                                   const LV2_Feature* const* features)
{
    (void)flags, (void)features;
    Plugin* s = (Plugin*)h;
    if (s->makePath)
        free(s->makePath->path(s->makePath->handle, "scratch/blob"));
    return store(handle, blob_key(s), &s->blob, sizeof(float),
                 s->map->map(s->map->handle, LV2_ATOM__Chunk),
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

static LV2_State_Status state_restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                                      LV2_State_Handle handle, uint32_t flags,
                                      const LV2_Feature* const* features)
{
    (void)flags, (void)features;
    Plugin* s = (Plugin*)h;
    size_t size = 0;
    uint32_t type = 0, vflags = 0;
    const void* value = retrieve(handle, blob_key(s), &size, &type, &vflags);
    if (value && size == sizeof(float))
        memcpy(&s->blob, value, sizeof(float));
    return LV2_STATE_SUCCESS;
}

static const void* state_extension(const char* uri)
{
    static const LV2_Worker_Interface worker = {state_work, state_work_response, NULL};
    static const LV2_State_Interface state = {state_save, state_restore};
    if (!strcmp(uri, LV2_WORKER__interface))
        return &worker;
    return strcmp(uri, LV2_STATE__interface) ? NULL : &state;
}

/* ---- broken: never instantiates ---------------------------------------- */

static LV2_Handle broken_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                     const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return NULL;
}

static const void* no_extension(const char* uri)
{
    (void)uri;
    return NULL;
}

static void nothing(LV2_Handle h)
{
    (void)h;
}

/* ---- crash, hang and overflow: stereo, pass the sound until an input
 * sample reaches `trigger` in magnitude; then crash writes through a null
 * pointer, hang never returns and overflow recurses until its thread's stack
 * runs out. A chain with any of them misbehaves on loud files only. ------- */

static int triggered(LV2_Handle h, uint32_t n)
{
    const float trigger = *IN(h, 4);
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < n; ++i)
            if (IN(h, c)[i] >= trigger || -IN(h, c)[i] >= trigger)
                return 1;
    return 0;
}

static void crash_run(LV2_Handle h, uint32_t n)
{
    if (triggered(h, n)) {
        volatile int* volatile nowhere = NULL; /* a real fault, not a trap */
        *nowhere = 1;
    }
    scale(h, 0, 2, 2, 1.0f, n);
}

/* Frames of a page each, for as long as `depth` lasts: longer than a stack. */
static int deeper(volatile char* above, long depth)
{
    volatile char frame[4096];
    frame[0] = above[0];
    frame[sizeof(frame) - 1] = 0;
    return depth > 0 ? deeper(frame, depth - 1) + frame[sizeof(frame) - 1] : frame[0];
}

static void overflow_run(LV2_Handle h, uint32_t n)
{
    if (triggered(h, n)) {
        volatile char start = 1;
        *OUT(h, 2) = (float)deeper(&start, 1L << 40);
    }
    scale(h, 0, 2, 2, 1.0f, n);
}

static void hang_run(LV2_Handle h, uint32_t n)
{
    if (triggered(h, n))
        for (;;)
            pause();
    scale(h, 0, 2, 2, 1.0f, n);
}

/* ---- shapes: split (one in, two out: the input, and half of it), merge
 * (two in, one out: half the left and a quarter of the right), matrix8
 * (eight in and out, each output its input plus the next one) and
 * sidechain (stereo, adding a side-chain input and a CV input, and
 * writing ones to a CV output after the sound) ---------------------------- */

static void split_run(LV2_Handle h, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        const float x = IN(h, 0)[i];
        OUT(h, 1)[i] = x;
        OUT(h, 2)[i] = 0.5f * x;
    }
}

static void merge_run(LV2_Handle h, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        OUT(h, 2)[i] = 0.5f * IN(h, 0)[i] + 0.25f * IN(h, 1)[i];
}

static void matrix8_run(LV2_Handle h, uint32_t n)
{
    for (int c = 0; c < 8; ++c)
        for (uint32_t i = 0; i < n; ++i)
            OUT(h, 8 + c)[i] = IN(h, c)[i] + IN(h, (c + 1) % 8)[i];
}

static void sidechain_run(LV2_Handle h, uint32_t n)
{
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < n; ++i)
            OUT(h, 2 + c)[i] = IN(h, c)[i] + IN(h, 4)[i] + IN(h, 5)[i];
    for (uint32_t i = 0; i < n; ++i)
        OUT(h, 6)[i] = 1.0f;
}

/* picky: the gain, made only at 48 kHz, as plugins that know few rates. */
static LV2_Handle picky_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                    const LV2_Feature* const* features)
{
    return rate == 48000 ? instantiate(d, rate, path, features) : NULL;
}

static const LV2_Descriptor descriptors[] = {
    {PREFIX "gain", instantiate, connect_any, nothing, gain_run, nothing, free, no_extension},
    {PREFIX "monogain", instantiate, connect_any, nothing, mono_run, nothing, free, no_extension},
    {PREFIX "delay", instantiate, connect_any, clear, delay_run, nothing, free, no_extension},
    {PREFIX "tail", instantiate, connect_any, nothing, tail_run, nothing, free, no_extension},
    {PREFIX "state", state_instantiate, connect_any, nothing, state_run, nothing, free,
     state_extension},
    {PREFIX "broken", broken_instantiate, connect_any, nothing, gain_run, nothing, free,
     no_extension},
    {PREFIX "needy", instantiate, connect_any, nothing, gain_run, nothing, free, no_extension},
    {PREFIX "late", instantiate, connect_any, nothing, mono_run, nothing, free, no_extension},
    {"http://tolvex.test/plugins/midifx", instantiate, connect_any, nothing, midifx_run, nothing,
     free, no_extension},
    {PREFIX "mixer8", instantiate, connect_any, nothing, mixer8_run, nothing, free, no_extension},
    {PREFIX "crash", instantiate, connect_any, nothing, crash_run, nothing, free, no_extension},
    {PREFIX "hang", instantiate, connect_any, nothing, hang_run, nothing, free, no_extension},
    {PREFIX "overflow", instantiate, connect_any, nothing, overflow_run, nothing, free,
     no_extension},
    {PREFIX "split", instantiate, connect_any, nothing, split_run, nothing, free, no_extension},
    {PREFIX "merge", instantiate, connect_any, nothing, merge_run, nothing, free, no_extension},
    {PREFIX "matrix8", instantiate, connect_any, nothing, matrix8_run, nothing, free, no_extension},
    {PREFIX "sidechain", instantiate, connect_any, nothing, sidechain_run, nothing, free,
     no_extension},
    {PREFIX "picky", picky_instantiate, connect_any, nothing, gain_run, nothing, free,
     no_extension},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index < sizeof(descriptors) / sizeof(descriptors[0]) ? &descriptors[index] : NULL;
}
