#include "pttline.h"

#include "seriallines.h"

#include <hamlib/rig.h>

#include <clocale>
#include <string>

namespace sondrel {
namespace {

// Hamlib keeps the name setlocale returns across its own switch to the C
// numeric locale, and that switch frees the name unless the locale is "C"
// already: so it is "C" around every call into Hamlib.
class CNumericLocale {
public:
    CNumericLocale()
    {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        m_saved = current ? current : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() { std::setlocale(LC_NUMERIC, m_saved.c_str()); }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    std::string m_saved;
};

} // namespace

struct PttLine::Rig {
    RIG* rig = nullptr;
    bool opened = false;
    ~Rig()
    {
        const CNumericLocale numeric;
        if (opened)
            rig_close(rig);
        if (rig)
            rig_cleanup(rig);
    }
};

namespace {

int setConf(RIG* rig, const char* name, const QString& value)
{
    return rig_set_conf(rig, rig_token_lookup(rig, name), value.toLocal8Bit().constData());
}

} // namespace

QString describe(const PttConfig& config)
{
    switch (config.kind) {
    case PttConfig::Kind::None:
        return QStringLiteral("none");
    case PttConfig::Kind::SerialLines:
        return QStringLiteral("RTS and DTR of %1").arg(config.device);
    case PttConfig::Kind::Cat:
        // Without a port Hamlib uses the model's own default.
        return config.device.isEmpty()
                   ? QStringLiteral("CAT, Hamlib model %1").arg(config.rigModel)
                   : QStringLiteral("CAT, Hamlib model %1 on %2").arg(config.rigModel).arg(config.device);
    case PttConfig::Kind::Rigctld:
        return QStringLiteral("rigctld at %1").arg(config.address);
    }
    return QString();
}

PttLine::PttLine(PttConfig config) : m_config(std::move(config)) {}

PttLine::~PttLine()
{
    if (m_keyed)
        set(false);
}

void PttLine::close()
{
    m_dtr.reset();
    m_rts.reset();
    m_keyed = false;
    m_primed = false;
}

bool PttLine::fail(const QString& what, int code)
{
    // rigerror() appends Hamlib's debug trace; rigerror2() is the reason alone.
    m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(rigerror2(code)).trimmed());
    return false;
}

bool PttLine::open()
{
    close();
    const CNumericLocale numeric;
    rig_set_debug(m_config.hamlibTrace ? RIG_DEBUG_VERBOSE : RIG_DEBUG_NONE);
    auto make = [this](rig_model_t model, const char* pttType, const QString& path) -> std::unique_ptr<Rig> {
        auto rig = std::make_unique<Rig>();
        rig->rig = rig_init(model);
        if (!rig->rig) {
            m_error = QStringLiteral("Hamlib knows no rig model %1").arg(model);
            return nullptr;
        }
        setConf(rig->rig, "ptt_type", QString::fromLatin1(pttType));
        // A rig or daemon that does not answer is reported after one short wait,
        // not after Hamlib's default seconds of retries.
        setConf(rig->rig, "timeout", QString::number(kAnswerTimeoutMs));
        setConf(rig->rig, "retry", QStringLiteral("0"));
        if (model == RIG_MODEL_DUMMY && m_config.kind == PttConfig::Kind::SerialLines)
            setConf(rig->rig, "ptt_pathname", path);
        else
            setConf(rig->rig, "rig_pathname", path);
        // Opening a serial port raises its lines on Linux; Hamlib lowers them at once.
        const int code = rig_open(rig->rig);
        if (code != RIG_OK) {
            fail(QStringLiteral("cannot open %1").arg(path), code);
            return nullptr;
        }
        rig->opened = true;
        return rig;
    };
    switch (m_config.kind) {
    case PttConfig::Kind::None:
        return true;
    case PttConfig::Kind::SerialLines:
        m_rts = make(RIG_MODEL_DUMMY, "RTS", m_config.device);
        m_dtr = m_rts ? make(RIG_MODEL_DUMMY, "DTR", m_config.device) : nullptr;
        if (m_dtr && !fw::LowerSerialLinesOnClose(m_config.device, &m_error)) {
            m_error = QStringLiteral("cannot set up %1: %2").arg(m_config.device, m_error);
            m_rts.reset();
            m_dtr.reset();
        }
        return m_rts && m_dtr;
    case PttConfig::Kind::Cat:
        m_rts = make(m_config.rigModel, "RIG", m_config.device);
        return bool(m_rts);
    case PttConfig::Kind::Rigctld:
        m_rts = make(RIG_MODEL_NETRIGCTL, "RIG", m_config.address);
        return bool(m_rts);
    }
    return false;
}

bool PttLine::reportedKeyed() const
{
    const CNumericLocale numeric;
    ptt_t state = RIG_PTT_OFF;
    return m_rts && rig_get_ptt(m_rts->rig, RIG_VFO_CURR, &state) == RIG_OK && state != RIG_PTT_OFF;
}

bool PttLine::set(bool keyed)
{
    if (m_config.kind == PttConfig::Kind::None) {
        m_keyed = keyed;
        return true;
    }
    if (!m_rts)
        return keyed ? (m_error = QStringLiteral("PTT is not open"), false) : true;
    const CNumericLocale numeric;
    const ptt_t state = keyed ? RIG_PTT_ON : RIG_PTT_OFF;
    // Lowering comes first and is tried on both lines even when one fails.
    int code = RIG_OK;
    if (m_dtr) {
        code = rig_set_ptt(m_dtr->rig, RIG_VFO_CURR, state);
        const int rtsCode = rig_set_ptt(m_rts->rig, RIG_VFO_CURR, state);
        // Hamlib lowers the port's other line the first time each of two handles
        // keys it; keying DTR once more restores it.
        if (keyed && !m_primed && code == RIG_OK && rtsCode == RIG_OK) {
            code = rig_set_ptt(m_dtr->rig, RIG_VFO_CURR, state);
            m_primed = true;
        }
        if (code == RIG_OK)
            code = rtsCode;
    } else {
        code = rig_set_ptt(m_rts->rig, RIG_VFO_CURR, state);
    }
    if (code != RIG_OK)
        return fail(keyed ? QStringLiteral("cannot key the transmitter") : QStringLiteral("cannot unkey the transmitter"),
                    code);
    m_keyed = keyed;
    return true;
}

} // namespace sondrel
