#pragma once

#include <QString>

namespace tolvex::model {

/// "m:ss", or "h:mm:ss" from one hour on; whole seconds rounded down,
/// negative values shown as 0:00.
QString durationText(double seconds);
/// "48 kHz" for whole kilohertz, otherwise one decimal with a point: "44.1 kHz".
QString sampleRateText(double hertz);
/// "Mono", "Stereo", otherwise the count and " Kanäle".
QString channelText(int channels);

} // namespace tolvex::model
