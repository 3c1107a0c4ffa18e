#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serial/frame_line.h"
#include "serial/port_settings.h"

namespace korvanteslin {

// What a network client's connection carries besides the frames, for a
// server whose clients speak a protocol: it is handed what the client sent
// and answers; each frame goes out as the protocol wraps it.
class ClientProtocol {
public:
    virtual ~ClientProtocol() = default;

    // What the server says first, on connecting.
    virtual std::string opening() = 0;
    // Takes what the client sent and appends the answer; false when the
    // connection cannot go on.
    virtual bool take(std::string_view bytes, std::string& answer) = 0;
    // Appends a piece of a frame as it goes on this connection (the pieces
    // of one frame come in order, the first one first); with `sentAs`, as
    // the client's end of the line would decode it from a line set so.
    virtual void wrap(const FramePiece& piece, const PortSettings* sentAs, std::string& out) = 0;
    // The cable pulled out or put back: appends what tells the client, if
    // anything does.
    virtual void cablePlugged(bool plugged, std::string& out) = 0;
    // The client asked for no data for now: its frames are dropped whole.
    virtual bool holdsFrames() const = 0;
    // The line as the client has set its end, when the protocol tells.
    virtual std::optional<PortSettings> readerSettings() const = 0;
};

} // namespace korvanteslin
