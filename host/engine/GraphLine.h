#pragma once

#include "host/AudioFormat.h"
#include "host/AudioNode.h"

#include <QString>

#include <map>
#include <set>
#include <vector>

namespace tolvex::host {

/// The nodes attached to an engine and their connections, each node feeding
/// at most one other in one format, and the walk along the line from a
/// source node to the engine's mixer. The engine's own endpoints (its mixer,
/// and an input node if it has one) count as known without being attached.
/// Used by the thread that owns the engine only.
class GraphLine {
public:
    /// A node on the line with the formats of the connections into and out of it.
    struct Stage {
        AudioNode* node;
        AudioFormat input;
        AudioFormat output;
    };
    /// What a walk finds: the format the source puts out and the nodes after it.
    struct Line {
        AudioFormat sourceFormat;
        std::vector<Stage> stages;
    };

    /// `connectError` and `brokenError` are the German texts of the two
    /// failures, worded for the engine's use (export or playback).
    GraphLine(AudioNode& mixer, AudioNode* input, QString connectError, QString brokenError);

    void attach(AudioNode& node);
    /// Drops the node and every connection into or out of it.
    void detach(AudioNode& node);
    bool isAttached(const AudioNode& node) const { return m_attached.contains(&node); }
    const std::set<AudioNode*, std::less<>>& attached() const { return m_attached; }

    /// Feeds `from` into `to`, replacing what `from` fed before. Throws
    /// HostError when either is unknown or the direction is impossible
    /// (out of the mixer, into the input).
    void connect(AudioNode& from, AudioNode& to, const AudioFormat& format);
    void disconnectOutput(const AudioNode& node) { m_links.erase(&node); }

    /// The node `from` feeds, or null.
    AudioNode* next(const AudioNode& from) const;
    AudioNode& mixer() const { return m_mixer; }

    /// The line from `source` to the mixer. Throws HostError when it breaks
    /// off or runs in a circle.
    Line walk(const AudioNode& source) const;

private:
    struct Link {
        AudioNode* to;
        AudioFormat format;
    };

    AudioNode& m_mixer;
    AudioNode* m_input;
    QString m_connectError;
    QString m_brokenError;
    std::set<AudioNode*, std::less<>> m_attached;
    std::map<const AudioNode*, Link> m_links;
};

} // namespace tolvex::host
