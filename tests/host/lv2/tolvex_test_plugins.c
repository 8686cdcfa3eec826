/* Small LV2 plugins for the host's tests. Each does one simple, exactly
 * predictable thing; see tolvex-test.ttl for their ports. */
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define PREFIX "urn:tolvex:test:"

/* ---- gain: stereo, out = in * gain ---------------------------------- */

typedef struct {
    const float* in[2];
    float* out[2];
    const float* gain;
} Gain;

static LV2_Handle gain_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                   const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return calloc(1, sizeof(Gain));
}

static void gain_connect(LV2_Handle h, uint32_t port, void* data)
{
    Gain* g = (Gain*)h;
    switch (port) {
    case 0:
        g->in[0] = data;
        break;
    case 1:
        g->in[1] = data;
        break;
    case 2:
        g->out[0] = data;
        break;
    case 3:
        g->out[1] = data;
        break;
    case 4:
        g->gain = data;
        break;
    }
}

static void gain_run(LV2_Handle h, uint32_t n)
{
    Gain* g = (Gain*)h;
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < n; ++i)
            g->out[c][i] = g->in[c][i] * *g->gain;
}

/* ---- monogain: one in, one out, out = in * gain ---------------------- */

typedef struct {
    const float* in;
    float* out;
    const float* gain;
} MonoGain;

static LV2_Handle mono_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                   const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return calloc(1, sizeof(MonoGain));
}

static void mono_connect(LV2_Handle h, uint32_t port, void* data)
{
    MonoGain* g = (MonoGain*)h;
    switch (port) {
    case 0:
        g->in = data;
        break;
    case 1:
        g->out = data;
        break;
    case 2:
        g->gain = data;
        break;
    }
}

static void mono_run(LV2_Handle h, uint32_t n)
{
    MonoGain* g = (MonoGain*)h;
    for (uint32_t i = 0; i < n; ++i)
        g->out[i] = g->in[i] * *g->gain;
}

/* ---- delay: stereo, delays by `frames` and reports it as latency ------ */

#define MAX_DELAY 65536

typedef struct {
    const float* in[2];
    float* out[2];
    const float* frames;
    float* latency;
    float line[2][MAX_DELAY];
    uint32_t pos;
} Delay;

static LV2_Handle delay_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                    const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return calloc(1, sizeof(Delay));
}

static void delay_connect(LV2_Handle h, uint32_t port, void* data)
{
    Delay* p = (Delay*)h;
    switch (port) {
    case 0:
        p->in[0] = data;
        break;
    case 1:
        p->in[1] = data;
        break;
    case 2:
        p->out[0] = data;
        break;
    case 3:
        p->out[1] = data;
        break;
    case 4:
        p->frames = data;
        break;
    case 5:
        p->latency = data;
        break;
    }
}

static void delay_activate(LV2_Handle h)
{
    Delay* p = (Delay*)h;
    memset(p->line, 0, sizeof(p->line));
    p->pos = 0;
}

static void delay_run(LV2_Handle h, uint32_t n)
{
    Delay* p = (Delay*)h;
    uint32_t d = (uint32_t)*p->frames;
    if (d >= MAX_DELAY)
        d = MAX_DELAY - 1;
    for (uint32_t i = 0; i < n; ++i) {
        for (int c = 0; c < 2; ++c) {
            p->line[c][p->pos] = p->in[c][i];
            p->out[c][i] = p->line[c][(p->pos + MAX_DELAY - d) % MAX_DELAY];
        }
        p->pos = (p->pos + 1) % MAX_DELAY;
    }
    *p->latency = (float)d;
}

/* ---- tail: mono reverb class; echo every 100 frames at half level ---- */

#define ECHO 100

typedef struct {
    const float* in;
    float* out;
    float line[ECHO];
    uint32_t pos;
} Tail;

static LV2_Handle tail_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                   const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return calloc(1, sizeof(Tail));
}

static void tail_connect(LV2_Handle h, uint32_t port, void* data)
{
    Tail* t = (Tail*)h;
    if (port == 0)
        t->in = data;
    else if (port == 1)
        t->out = data;
}

static void tail_activate(LV2_Handle h)
{
    Tail* t = (Tail*)h;
    memset(t->line, 0, sizeof(t->line));
    t->pos = 0;
}

static void tail_run(LV2_Handle h, uint32_t n)
{
    Tail* t = (Tail*)h;
    for (uint32_t i = 0; i < n; ++i) {
        const float y = t->in[i] + 0.5f * t->line[t->pos];
        t->line[t->pos] = y;
        t->pos = (t->pos + 1) % ECHO;
        t->out[i] = y;
    }
}

/* ---- state: stereo, out = in * (1 + blob); `level` changes are sent to
 * the worker, whose response sets the blob; the blob is saved as state ---- */

typedef struct {
    const float* in[2];
    float* out[2];
    const float* level;
    float seen;
    int first;
    float blob;
    LV2_Worker_Schedule* schedule;
    LV2_URID_Map* map;
    LV2_URID blobKey, chunk;
} State;

static LV2_Handle state_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                    const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path;
    State* s = calloc(1, sizeof(State));
    for (int i = 0; features[i]; ++i) {
        if (!strcmp(features[i]->URI, LV2_WORKER__schedule))
            s->schedule = features[i]->data;
        else if (!strcmp(features[i]->URI, LV2_URID__map))
            s->map = features[i]->data;
    }
    if (!s->schedule || !s->map) {
        free(s);
        return NULL;
    }
    s->blobKey = s->map->map(s->map->handle, PREFIX "state#blob");
    s->chunk = s->map->map(s->map->handle, LV2_ATOM__Chunk);
    s->first = 1;
    return s;
}

static void state_connect(LV2_Handle h, uint32_t port, void* data)
{
    State* s = (State*)h;
    switch (port) {
    case 0:
        s->in[0] = data;
        break;
    case 1:
        s->in[1] = data;
        break;
    case 2:
        s->out[0] = data;
        break;
    case 3:
        s->out[1] = data;
        break;
    case 4:
        s->level = data;
        break;
    }
}

static void state_run(LV2_Handle h, uint32_t n)
{
    State* s = (State*)h;
    if (s->first) {
        s->first = 0;
        s->seen = *s->level;
    } else if (*s->level != s->seen) {
        s->seen = *s->level;
        s->schedule->schedule_work(s->schedule->handle, sizeof(float), &s->seen);
    }
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < n; ++i)
            s->out[c][i] = s->in[c][i] * (1.0f + s->blob);
}

static LV2_Worker_Status state_work(LV2_Handle h, LV2_Worker_Respond_Function respond,
                                    LV2_Worker_Respond_Handle handle, uint32_t size,
                                    const void* data)
{
    (void)h;
    return respond(handle, size, data);
}

static LV2_Worker_Status state_work_response(LV2_Handle h, uint32_t size, const void* data)
{
    State* s = (State*)h;
    if (size == sizeof(float))
        memcpy(&s->blob, data, sizeof(float));
    return LV2_WORKER_SUCCESS;
}

static LV2_State_Status state_save(LV2_Handle h, LV2_State_Store_Function store,
                                   LV2_State_Handle handle, uint32_t flags,
                                   const LV2_Feature* const* features)
{
    (void)flags, (void)features;
    State* s = (State*)h;
    return store(handle, s->blobKey, &s->blob, sizeof(float), s->chunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

static LV2_State_Status state_restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                                      LV2_State_Handle handle, uint32_t flags,
                                      const LV2_Feature* const* features)
{
    (void)flags, (void)features;
    State* s = (State*)h;
    size_t size = 0;
    uint32_t type = 0, vflags = 0;
    const void* value = retrieve(handle, s->blobKey, &size, &type, &vflags);
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
    if (!strcmp(uri, LV2_STATE__interface))
        return &state;
    return NULL;
}

/* ---- broken: never instantiates ---------------------------------------- */

static LV2_Handle broken_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                     const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return NULL;
}

/* ---- midifx: stereo pass-through with a MIDI input (a music effect) ---- */

typedef struct {
    const float* in[2];
    float* out[2];
} Through;

static LV2_Handle through_instantiate(const LV2_Descriptor* d, double rate, const char* path,
                                      const LV2_Feature* const* features)
{
    (void)d, (void)rate, (void)path, (void)features;
    return calloc(1, sizeof(Through));
}

static void through_connect(LV2_Handle h, uint32_t port, void* data)
{
    Through* t = (Through*)h;
    switch (port) {
    case 1:
        t->in[0] = data;
        break;
    case 2:
        t->in[1] = data;
        break;
    case 3:
        t->out[0] = data;
        break;
    case 4:
        t->out[1] = data;
        break;
    }
}

static void through_run(LV2_Handle h, uint32_t n)
{
    Through* t = (Through*)h;
    for (int c = 0; c < 2; ++c)
        memcpy(t->out[c], t->in[c], n * sizeof(float));
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

static const LV2_Descriptor descriptors[] = {
    {PREFIX "gain", gain_instantiate, gain_connect, nothing, gain_run, nothing, free, no_extension},
    {PREFIX "monogain", mono_instantiate, mono_connect, nothing, mono_run, nothing, free,
     no_extension},
    {PREFIX "delay", delay_instantiate, delay_connect, delay_activate, delay_run, nothing, free,
     no_extension},
    {PREFIX "tail", tail_instantiate, tail_connect, tail_activate, tail_run, nothing, free,
     no_extension},
    {PREFIX "state", state_instantiate, state_connect, nothing, state_run, nothing, free,
     state_extension},
    {PREFIX "broken", broken_instantiate, gain_connect, nothing, gain_run, nothing, free,
     no_extension},
    {PREFIX "needy", gain_instantiate, gain_connect, nothing, gain_run, nothing, free,
     no_extension},
    {"http://tolvex.test/plugins/midifx", through_instantiate, through_connect, nothing,
     through_run, nothing, free, no_extension},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index < sizeof(descriptors) / sizeof(descriptors[0]) ? &descriptors[index] : NULL;
}
