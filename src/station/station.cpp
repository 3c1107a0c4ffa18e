#include "station/station.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QScopedValueRollback>
#include <QStringList>

#include "emulation/names.h"
#include "emulation/number_reading.h"
#include "emulation/send_period.h"
#include "shell/folders.h"
#include "shell/results_folder_choice.h"
#include "shell/platform_paths.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"
#include "station/port_configuration.h"

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
    Outlet.addLine(&MSComm1);
    connect(&Timer1, &FrameTimer::timeout, this, &Station::tick);
    connect(&Timer2, &QTimer::timeout, this, [this] { applyPortBoxes(); });
    connect(&Timer3, &QTimer::timeout, this, &Station::cycleTick);
    cableBack.setSingleShot(true);
    cableBack.setTimerType(Qt::PreciseTimer);
    connect(&cableBack, &QTimer::timeout, this, [this] { plugCable(true); });
    // A port that went away, or came back by itself, shows at once.
    connect(&MSComm1, &CommPort::openChanged, this, [this] {
        if (!configuringPort)
            emit changed(PortChanged);
    });
}

Station::~Station() = default;

void Station::plugCable(bool plugged, std::optional<std::chrono::milliseconds> back)
{
    cableBack.stop();
    if (plugged != Outlet.plugged()) {
        Outlet.setPlugged(plugged);
        emit changed(PortChanged);
    }
    if (!plugged && back)
        cableBack.start(*back);
}

OutgoingFrame Station::outgoingFrame() const
{
    return {Terminal1.strFrame, Terminal1.frameWeight(), Terminal1.Check1[kSignalStable] == 1};
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

void Station::setClock(std::function<LocalDateTime()> newClock)
{
    clock = std::move(newClock);
}

void Station::setDataFolder(const QString& folder)
{
    dataFolderForRun = folder;
}

void Station::setReporter(std::function<void(const QString&)> newReporter)
{
    reporter = std::move(newReporter);
}

void Station::report(const QString& text)
{
    if (reporter)
        reporter(text);
}

void Station::report(const std::vector<ShellMessage>& messages)
{
    if (messages.empty())
        return;
    QStringList lines;
    for (const ShellMessage& message : messages)
        lines << QString::fromStdString(wordMessage(message, language()));
    report(lines.join(QLatin1Char('\n')));
}

bool Station::saveOrReport()
{
    SaveOutcome outcome = saveSettings();
    if (outcome.failure)
        report({*outcome.failure});
    return outcome.saved;
}

void Station::typeWeight(std::size_t index, const std::string& text)
{
    Terminal1.Text9_Change(index, text);
    emit changed(EntriesChanged | LoadsChanged);
}

void Station::pickFormat(std::size_t index)
{
    Terminal1.Combo2_Click(index);
    emit changed(LoadsChanged);
}

void Station::pressLoad(Load load)
{
    if (load == Load::Weight1)
        Terminal1.Command1_Click();
    else if (load == Load::Weight2)
        Terminal1.Command2_Click();
    else
        Terminal1.Command3_Click();
    emit changed(LoadLampsChanged);
}

void Station::applyOscillation()
{
    Terminal1.Command5_Click(Text1[1], Text1[2]);
    emit changed(OscillationApplied);
}

void Station::setSignal(std::size_t index, int value)
{
    if (Terminal1.Check1[index] == value)
        return;
    Terminal1.Check1[index] = value;
    emit changed(SignalsChanged);
}

void Station::pickModel(int model)
{
    Terminal1.intTerminalModel = std::int16_t(model);
    emit changed(ModelChanged);
}

void Station::applyPeriod()
{
    bool ok = false;
    const double typed = QLocale().toDouble(QString::fromStdString(Text1[0]), &ok);
    const std::int16_t period = sendPeriodFrom(ok ? std::optional(typed) : std::nullopt);
    Settings.intSendPeriod = period;
    Text1[0] = std::to_string(period);
    Timer1.setInterval(period);
    emit changed(BoxesChanged | PeriodChanged);
}

void Station::switchCycle(bool on)
{
    Check2 = on;
    Cycle.Check2_Click(on);
    followCycleTimer();
    emit changed(CycleSwitched | CycleShown);
}

void Station::typeCycleMax(const std::string& text)
{
    Text4 = text;
    Cycle.Text4_Change(text);
    emit changed(BoxesChanged);
}

void Station::typeCyclePeriod(const std::string& text)
{
    Text7 = text;
    Cycle.Text7_Change(text);
    emit changed(BoxesChanged);
}

void Station::cycleTick()
{
    Cycle.Timer3_Timer(Terminal1);
    followCycleTimer();
    emit changed(LoadLampsChanged | CycleShown);
}

void Station::followCycleTimer()
{
    if (Cycle.timer3Enabled && !Timer3.isActive())
        Timer3.start();
    else if (!Cycle.timer3Enabled)
        Timer3.stop();
}

void Station::pickLanguage(int language)
{
    Settings.intLanguage = std::int16_t(language);
    emit changed(LanguageChanged);
    saveOrReport();
}

void Station::chooseResultsFolder(const std::string& chosen)
{
    const ResultsFolderChoice choice = resultsFolderFromDialog(chosen);
    switch (choice.outcome) {
    case ResultsFolderChoice::Outcome::Unchanged:
        return;
    case ResultsFolderChoice::Outcome::Refused:
        report({choice.refusal});
        return;
    case ResultsFolderChoice::Outcome::Chosen:
        Settings.strResultsFolder = choice.folder;
        emit changed(ResultsFolderChanged);
        saveOrReport();
        return;
    }
}

void Station::typeText1(std::size_t index, const std::string& text)
{
    if (Text1[index] == text)
        return;
    Text1[index] = text;
    emit changed(BoxesChanged);
}

void Station::typePortBox(std::size_t index, const QString& text)
{
    if (Combo1[index] == text)
        return;
    Combo1[index] = text;
    emit changed(BoxesChanged);
}

void Station::pickPortBox(int index)
{
    // A device named for this run holds until a port number is picked.
    if (index == 0)
        MSComm1.setDeviceOverride({});
    {
        const QScopedValueRollback guard(configuringPort, true);
        // Closed, and not re-opened by itself if it had gone away: the lamp
        // keeps its colour until the apply step.
        MSComm1.close();
    }
    Timer2.start();
}

bool Station::applyPortBoxes(bool tellOperator)
{
    Timer2.stop();
    bool refused = false;
    {
        const QScopedValueRollback guard(configuringPort, true);
        refused = korvanteslin::applyPortBoxes(MSComm1, Settings, Combo1);
    }
    if (refused && tellOperator)
        report(kRefusedChoice);
    if (refused)
        showPortInForce();
    paceWithPortSettings();
    emit changed(PortChanged);
    return refused;
}

void Station::showPortInForce()
{
    const QStringList settings = MSComm1.settings().split(QLatin1Char(','));
    if (settings.size() != 4)
        return;
    Combo1 = {QString::number(MSComm1.commPort()), settings[0], settings[1], settings[2], settings[3]};
    emit changed(BoxesChanged);
}

// The pacing counts with the settings string in force, read once each time it may have changed.
void Station::paceWithPortSettings()
{
    Outlet.setLineSettings(parsePortSettings(MSComm1.settings().toStdString()).value_or(PortSettings{}));
}

const std::string& Station::BuildFrame()
{
    const std::string& frame = Terminal1.BuildFrame();
    emit changed(SignalsChanged);
    return frame;
}

void Station::tick()
{
    BuildFrame();
    // The frame leaves first: whoever shows it repaints later, and shows
    // the frame whether or not the write succeeded.
    if (!Terminal1.strFrame.empty())
        Outlet.send(outgoingFrame());
    emit changed(FrameBuilt);
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
