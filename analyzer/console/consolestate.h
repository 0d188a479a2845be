#pragma once
// The console's JSON: the station's state and the band's signals as the API
// and the page see them, and the operator's requests checked before any of
// them is carried out.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace sondrel {

class Station;

namespace console {

QJsonObject statusJson(const Station& station);
QJsonArray signalsJson(const Station& station);

// Each returns an empty string when done, else why nothing was done.
QString tune(Station& station, const QJsonObject& request);
QString applySettings(Station& station, const QJsonObject& request);

} // namespace console
} // namespace sondrel
