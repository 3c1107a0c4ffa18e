// The run's start-up and its close sequences.
#include "station/station.h"

#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QScopedValueRollback>

#include "emulation/number_reading.h"
#include "shell/folders.h"
#include "shell/platform_paths.h"
#include "shell/safe_file.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"
#include "station/port_configuration.h"

namespace korvanteslin {

bool Station::Form_Load()
{
    const LocalDateTime today = clock();
    if (dataFolderForRun.isEmpty())
        makePlatformDataLocation();
    else
        QDir().mkpath(dataFolderForRun); // a failure is reported with the settings file
    strAppFolder = dataFolderFor(dataFolderForRun);
    PreparedSettings prepared = prepareSettings(strAppFolder, today);
    if (prepared.runningElsewhere) {
        ending = true; // nothing of this copy's is to be saved or closed
        report(prepared.problems); // before any settings are read: in English
        return false;
    }
    dataFolderLock = std::move(prepared.lock);
    Settings = std::move(prepared.record);
    mayWriteSettings = !prepared.fileLeftAlone;

    pickModel(Settings.intTerminalModel);
    Cycle.lngMaxCounter = Settings.lngMaxCounter;
    Cycle.lngCycleCounter = Settings.lngCycleCounter;
    Cycle.lngCyclePeriod = Settings.lngCyclePeriod;
    Cycle.intCycleOn = Settings.intCycleOn;
    // A stored value that differs from the box's runs the box's change handling.
    if (const std::string max = std::to_string(Settings.lngMaxCounter); max != Text4)
        typeCycleMax(max);
    if (const std::string period = std::to_string(Settings.lngCyclePeriod); period != Text7)
        typeCyclePeriod(period);
    fillOscillationBoxes();

    if (auto failure = createResultsFolders(Settings.strResultsFolder, today.year, systemMonthName(today.month),
            strMonthFolder))
        prepared.problems.push_back(*failure);
    // In the language just read from the file, or English when it could not be.
    report(prepared.problems);
    // Asked to end while the message waited: the close sequence has run, and
    // nothing more is opened or shown.
    if (ending)
        return true;

    emit changed(LanguageChanged);

    MSComm1.setDeviceFolder(QString::fromLocal8Bit(strAppFolder.c_str()));
    openPortAtStartup();
    if (ending)
        return true;

    typeText1(0, std::to_string(Settings.intSendPeriod));
    Settings.intSendPeriod = floorToInt16(readNumber(Text1[0]));
    Timer1.setInterval(Settings.intSendPeriod);

    fillOscillationBoxes();
    readOscillationBoxes();
    Terminal1.simulator.dblWeight1 = readNumber(Terminal1.Text2[0]);
    Terminal1.simulator.dblWeight2 = readNumber(Terminal1.Text2[1]);
    pressLoad(Load::TakeOff);
    pickFormat(kStartupFormat);
    if (!portReportAfterStart.isEmpty())
        report(std::exchange(portReportAfterStart, QString()));
    return true;
}

std::string dataFolderFor(const QString& folderForRun)
{
    if (folderForRun.isEmpty())
        return appFolderFromEnvironment();
    return QDir::toNativeSeparators(QDir(folderForRun).absolutePath() + QLatin1Char('/')).toLocal8Bit().toStdString();
}

Language storedLanguage(const std::string& dataFolder)
{
    const FileRead file = readRegularFile(dataFolder + settingsFileName(), 0, kSettingsFileSize);
    const auto record = file.state == FileRead::State::Read ? decodeSettings(file.bytes) : std::nullopt;
    return record ? languageOf(record->intLanguage) : Language::English;
}

void Station::fillOscillationBoxes()
{
    typeText1(2, std::to_string(Settings.intOscCount));
    typeText1(1, formatPlain(Settings.dblAmplitude, Terminal1.decimalSeparator()));
}

void Station::readOscillationBoxes()
{
    Terminal1.dblAmplitude = readNumber(Text1[1]);
    Terminal1.intOscCount = floorToInt16(readNumber(Text1[2]));
    Terminal1.simulator.intOscLeft = Terminal1.intOscCount;
}

void Station::openPortAtStartup()
{
    const QScopedValueRollback guard(configuringPort, true);
    const std::vector<PortFailure> failures = configurePortAtStartup(MSComm1, Settings);
    paceWithPortSettings();
    QStringList said;
    for (const PortFailure& failure : failures) {
        const bool absent = failure.kind == PortFailure::Kind::Missing && !failure.deviceForRun;
        said << (absent && serialPortOptional ? wordPortAbsence(failure, language()) : wordPortFailure(failure, language()));
    }
    // With other lines to go to, their frames do not wait for the operator
    // to read about the serial port: the message comes once the tick runs.
    if (!said.isEmpty() && Outlet.lineCount() > 1)
        portReportAfterStart = said.join(QLatin1Char('\n'));
    else if (!said.isEmpty())
        report(said.join(QLatin1Char('\n')));
    emit changed(PortChanged);
    // Filling the boxes is not a pick: it does not start a re-opening.
    Combo1 = {QString::number(MSComm1.commPort()), QString::number(Settings.lngBaudRate),
        QString::fromLocal8Bit(Settings.strParity.c_str()), QString::number(Settings.intDataBits),
        QString::number(Settings.intStopBits)};
    emit changed(BoxesChanged);
}

void Station::Form_Unload()
{
    ending = true;
    if (Timer2.isActive())
        applyPortBoxes(); // a pick just before closing is kept
    Timer1.setInterval(0);
    MSComm1.close(); // also ends the retrying of a port that went away
    collectSettings();
    // The session's end saved already: once is enough, unless something changed since.
    if (!savedAtSessionEnd || *savedAtSessionEnd != Settings)
        saveOrReport();
    QCoreApplication::processEvents();
}

void Station::endOnRequest()
{
    if (!ending)
        Form_Unload();
    // Ends every event loop, a message box's included; a request that comes
    // during start-up is seen by the caller of Form_Load through hasEnded().
    QCoreApplication::exit(0);
}

void Station::commitSessionData()
{
    if (ending)
        return;
    if (saveOrReport())
        savedAtSessionEnd = Settings;
}

void Station::mnu_Exit_Click()
{
    ending = true;
    saveOrReport();
    QCoreApplication::processEvents();
    // The port is left as it is: the process releases it as it ends.
    QCoreApplication::exit(0);
}

} // namespace korvanteslin
