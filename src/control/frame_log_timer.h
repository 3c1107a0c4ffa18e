#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace korvanteslin {

class FrameLog;

// Ends the log's waits on time from the Qt event loop: one precise timer,
// always armed for the earliest deadline.
class FrameLogTimer : public QObject {
    Q_OBJECT
public:
    explicit FrameLogTimer(FrameLog& log, QObject* parent = nullptr);
    ~FrameLogTimer() override;

private:
    void arm(std::optional<std::int64_t> deadlineMs);
    void fire();

    FrameLog& log;
    QTimer timer;
};

} // namespace korvanteslin
