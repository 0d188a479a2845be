#include "consolestate.h"

#include "server/station.h"

#include <cmath>
#include <optional>

namespace sondrel::console {
namespace {

const QString kHz = QStringLiteral("hz");
const QString kAfc = QStringLiteral("afc");
const QString kSquelch = QStringLiteral("squelch");
const QString kTxLock = QStringLiteral("tx_lock");
const QString kTxLevel = QStringLiteral("tx_level_db");

constexpr double kLowestLevelDb = -40;
constexpr double kSquelchRangeDb = 40;

QJsonValue number(std::optional<double> value, int decimals = 1)
{
    if (!value)
        return QJsonValue(QJsonValue::Null);
    const double scale = std::pow(10.0, decimals);
    return std::round(*value * scale) / scale;
}

} // namespace

QJsonObject statusJson(const Station& station)
{
    const Band& band = station.band();
    const std::optional<double> carrier = station.rxCarrierHz();
    const std::optional<BandSignal> tuned = band.signalNear(carrier.value_or(station.rxHz()), 15);
    const qint64 limit = station.txLimitMs();
    const bool transmitting = station.transmitting();
    return QJsonObject{
        {QStringLiteral("rx_hz"), number(station.rxHz())},
        {QStringLiteral("rx_carrier_hz"), number(carrier)},
        {QStringLiteral("tx_hz"), number(station.txHz())},
        {kAfc, station.afc()},
        {kSquelch, number(station.squelch())},
        {kTxLock, station.txLock()},
        {kTxLevel, number(station.transmitLevel())},
        {QStringLiteral("ptt"), station.keyed()},
        {QStringLiteral("transmitting"), transmitting},
        {QStringLiteral("tx_seconds"), number(double(station.transmitMs()) / 1000)},
        {QStringLiteral("tx_limit_s"),
         limit > 0 ? QJsonValue(double(limit) / 1000) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("tx_left_s"),
         limit > 0 && transmitting ? number(double(limit - station.transmitMs()) / 1000)
                                   : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("input_dbfs"), number(band.inputDbfs())},
        {QStringLiteral("overload"), band.overload()},
        {QStringLiteral("pair"), station.hasPair()},
        {QStringLiteral("snr_db"), number(tuned ? tuned->snrDb : std::nullopt)},
        {QStringLiteral("imd_db"), number(tuned ? tuned->imdDb : std::nullopt)},
        {QStringLiteral("low_hz"), Band::kLowHz},
        {QStringLiteral("high_hz"), Band::kHighHz},
    };
}

QJsonArray signalsJson(const Station& station)
{
    QJsonArray list;
    for (const BandSignal& signal : station.band().signalList()) {
        list.append(QJsonObject{{kHz, number(signal.hz)},
                                {QStringLiteral("snr_db"), number(signal.snrDb)},
                                {QStringLiteral("imd_db"), number(signal.imdDb)},
                                {QStringLiteral("text"), signal.text}});
    }
    return list;
}

QString tune(Station& station, const QJsonObject& request)
{
    for (auto it = request.begin(); it != request.end(); ++it) {
        if (it.key() != kHz)
            return QStringLiteral("unknown field \"%1\"").arg(it.key());
    }
    const QJsonValue hz = request.value(kHz);
    if (!hz.isDouble())
        return QStringLiteral("\"hz\" must be a number");
    if (!(hz.toDouble() >= Band::kLowHz && hz.toDouble() <= Band::kHighHz))
        return QStringLiteral("\"hz\" must be from %1 to %2").arg(Band::kLowHz).arg(Band::kHighHz);
    station.tune(hz.toDouble());
    return QString();
}

QString applySettings(Station& station, const QJsonObject& request)
{
    if (request.isEmpty())
        return QStringLiteral("no setting given: afc, squelch, tx_lock, tx_level_db");
    // Every field is checked before any is taken, so a bad request changes nothing.
    for (auto it = request.begin(); it != request.end(); ++it) {
        const QString& key = it.key();
        const QJsonValue& value = it.value();
        if (key == kAfc || key == kTxLock) {
            if (!value.isBool())
                return QStringLiteral("\"%1\" must be true or false").arg(key);
        } else if (key == kSquelch) {
            if (!value.isNull()
                && !(value.isDouble() && std::abs(value.toDouble()) <= kSquelchRangeDb))
                return QStringLiteral("\"squelch\" must be null (off) or an S/N from -%1 to %1 dB")
                    .arg(kSquelchRangeDb);
        } else if (key == kTxLevel) {
            if (!(value.isDouble() && value.toDouble() >= kLowestLevelDb && value.toDouble() <= 0))
                return QStringLiteral("\"tx_level_db\" must be from %1 to 0 dBFS")
                    .arg(kLowestLevelDb);
        } else {
            return QStringLiteral("unknown setting \"%1\"").arg(key);
        }
    }
    if (request.contains(kAfc))
        station.setAfc(request.value(kAfc).toBool());
    if (request.contains(kTxLock))
        station.setTxLock(request.value(kTxLock).toBool());
    if (request.contains(kSquelch)) {
        const QJsonValue value = request.value(kSquelch);
        station.setSquelch(value.isNull() ? std::nullopt : std::optional<double>(value.toDouble()));
    }
    if (request.contains(kTxLevel))
        station.setTransmitLevel(request.value(kTxLevel).toDouble());
    return QString();
}

} // namespace sondrel::console
