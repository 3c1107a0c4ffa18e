#include "station/station.h"

#include <QLocale>

#include "emulation/names.h"
#include "shell/folders.h"
#include "shell/settings_file.h"

namespace korvanteslin {

namespace {

// The separator the system shows numbers with; the terminal reads typed
// numbers and writes its boxes with it.
char systemDecimalSeparator()
{
    const QString separator = QLocale().decimalPoint();
    return separator.size() == 1 && separator[0].unicode() < 0x80 ? char(separator[0].unicode()) : '.';
}

} // namespace

Station::Station(QObject* parent)
    : QObject(parent)
    , Terminal1(systemDecimalSeparator())
    , Timer1(this)
    , Timer2(this)
    , Timer3(this)
    , MSComm1(this)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(100);
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(1000);
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
}

Station::~Station() = default;

OutgoingFrame Station::outgoingFrame() const
{
    return {QByteArray::fromStdString(Terminal1.strFrame), Terminal1.frameWeight(), Terminal1.Check1[kSignalStable] == 1};
}

void Station::collectSettings()
{
    Settings.lngMaxCounter = Cycle.lngMaxCounter;
    Settings.lngCycleCounter = Cycle.lngCycleCounter;
    Settings.lngCyclePeriod = Cycle.lngCyclePeriod;
    Settings.intCycleOn = Cycle.intCycleOn;
    Settings.intTerminalModel = Terminal1.intTerminalModel;
    Settings.intOscCount = Terminal1.intOscCount;
    Settings.dblAmplitude = Terminal1.dblAmplitude;
}

SaveOutcome Station::saveSettings()
{
    collectSettings();
    if (!mayWriteSettings)
        return {};
    if (auto failure = SaveSettings(strAppFolder + settingsFileName(), Settings))
        return {false, std::move(failure)};
    return {true, std::nullopt};
}

} // namespace korvanteslin
