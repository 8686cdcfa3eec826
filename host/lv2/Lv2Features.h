#pragma once

#include "host/lv2/Lv2World.h"

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <QString>

#include <cstdarg>
#include <vector>

namespace tolvex::host {

/// The LV2 features the host offers one instance, with the options they
/// carry. Shared by the instance's copies and valid for the instance's life;
/// only the copies' worker differs.
class Lv2Features {
public:
    /// `stateFolder` is where the plugin's make_path puts its files.
    Lv2Features(Lv2World& world, QString stateFolder, size_t sequenceSize);
    Lv2Features(const Lv2Features&) = delete;
    Lv2Features& operator=(const Lv2Features&) = delete;

    /// The URI of the first feature the plugin requires and the host does
    /// not offer; empty when there is none. The caller holds the world's lock.
    static QString missing(const LilvPlugin* plugin);

    /// The sample rate the options announce to the next copies made.
    void setRate(double rate) { m_rate = float(rate); }
    /// The features of one copy, which schedules its work through `schedule`.
    /// The plugin only reads what they point to.
    std::vector<LV2_Feature> forCopy(LV2_Worker_Schedule* schedule) const;

private:
    static char* makePath(LV2_State_Make_Path_Handle handle, const char* path);
    static int logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
    static int logVprintf(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }

    Lv2World& m_world;
    QString m_stateFolder;
    float m_rate = 0;
    int32_t m_minBlock = 1, m_maxBlock = 4096, m_nominalBlock = 4096, m_sequenceSize = 8192;
    std::vector<LV2_Options_Option> m_options;
    LV2_State_Make_Path m_makePath{this, &Lv2Features::makePath};
    LV2_Log_Log m_log{this, &Lv2Features::logPrintf, &Lv2Features::logVprintf};
};

} // namespace tolvex::host
