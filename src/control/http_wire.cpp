#include "control/http_wire.h"

#include <QMap>
#include <QString>

#include <algorithm>
#include <cstring>

#include <sys/resource.h>

#include "control/request_guard.h"

namespace korvanteslin {

MHD_Result queue(MHD_Connection* connection, int status, const QByteArray& json, bool askToken)
{
    MHD_Response* response = MHD_create_response_from_buffer(
        std::size_t(json.size()), const_cast<char*>(json.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
    // Replies are data for the user's tools, never a page or a script to run or keep.
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (askToken)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result addArgument(void* query, MHD_ValueKind, const char* key, const char* value)
{
    static_cast<QMap<QString, QString>*>(query)->insert(QString::fromUtf8(key), QString::fromUtf8(value));
    return MHD_YES;
}

MHD_Result addHeader(void* head, MHD_ValueKind, const char* key, const char* value)
{
    auto& into = *static_cast<RequestHead*>(head);
    const QByteArray name = QByteArray(key).toLower();
    const QString text = QString::fromUtf8(value ? value : "");
    if (name == "host")
        into.hosts << text;
    else if (name == "origin")
        into.origins << text;
    else if (name == "content-type")
        into.contentTypes << text;
    else if (name == "content-length")
        into.contentLengths << text;
    else if (name == "authorization")
        into.authorizations << text;
    return MHD_YES;
}

std::size_t unescape(void*, MHD_Connection*, char* text)
{
    const std::size_t length = std::strlen(text);
    const QByteArray decoded = QByteArray::fromPercentEncoding(QByteArray::fromRawData(text, qsizetype(length)));
    if (decoded.contains('\0'))
        return length;
    std::memcpy(text, decoded.constData(), std::size_t(decoded.size()));
    text[decoded.size()] = '\0';
    return std::size_t(decoded.size());
}

// Descriptors the server leaves to the rest of the program: a settings save,
// the TCP clients, the lines and the libraries each need a few, and must
// never meet a full table because of idle API clients.
namespace {

constexpr rlim_t kReservedDescriptors = 256;
constexpr unsigned kMostConnections = 4096;
constexpr unsigned kFewestConnections = 16;

} // namespace

unsigned connectionLimit()
{
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0 || descriptors.rlim_cur == RLIM_INFINITY)
        return kMostConnections;
    const rlim_t free = descriptors.rlim_cur > kReservedDescriptors ? descriptors.rlim_cur - kReservedDescriptors : 0;
    return unsigned(std::clamp<rlim_t>(free, kFewestConnections, kMostConnections));
}

} // namespace korvanteslin
