#include "control/request_guard.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

using namespace korvanteslin;

TEST(RequestGuard, OnlyTheUsersOwnToolsGetThrough)
{
    const QString json = QStringLiteral("application/json");
    struct Row {
        const char* name;
        RequestHead head;
        int status; // 0: let through
    };
    const Row rows[] = {
        {"curl", {"POST", {"127.0.0.1:8451"}, {}, {json}, {"5"}}, 0},
        {"by name, with a charset", {"POST", {"LocalHost:8451"}, {}, {"Application/JSON; charset=utf-8"}, {}}, 0},
        {"over IPv6, emptied faults", {"DELETE", {"[::1]:8451"}, {}, {json}, {}}, 0},
        {"a read needs no type", {"GET", {"localhost:8451"}, {}, {}, {}}, 0},
        {"its own origin", {"POST", {"127.0.0.1:8451"}, {"http://127.0.0.1:8451"}, {json}, {}}, 0},
        {"the same length twice", {"POST", {"127.0.0.1:8451"}, {}, {json}, {"5", "5"}}, 0},

        {"no Host", {"GET", {}, {}, {}, {}}, 400},
        {"two Hosts", {"GET", {"127.0.0.1:8451", "127.0.0.1:8451"}, {}, {}, {}}, 400},
        {"a rebound name", {"GET", {"evil.example:8451"}, {}, {}, {}}, 421},
        {"another port", {"GET", {"127.0.0.1:8452"}, {}, {}, {}}, 421},
        {"no port", {"GET", {"127.0.0.1"}, {}, {}, {}}, 421},
        {"a longer name", {"GET", {"127.0.0.1:84510"}, {}, {}, {}}, 421},

        {"another site", {"POST", {"127.0.0.1:8451"}, {"http://evil.example"}, {json}, {}}, 403},
        {"another loopback port", {"GET", {"127.0.0.1:8451"}, {"http://127.0.0.1:8000"}, {}, {}}, 403},
        {"an opaque origin", {"POST", {"127.0.0.1:8451"}, {"null"}, {json}, {}}, 403},
        {"https", {"POST", {"127.0.0.1:8451"}, {"https://127.0.0.1:8451"}, {json}, {}}, 403},

        {"two lengths", {"POST", {"127.0.0.1:8451"}, {}, {json}, {"5", "6"}}, 400},

        {"a no-cors fetch", {"POST", {"127.0.0.1:8451"}, {}, {"text/plain;charset=UTF-8"}, {}}, 415},
        {"a form", {"POST", {"127.0.0.1:8451"}, {}, {"application/x-www-form-urlencoded"}, {}}, 415},
        {"a file upload", {"POST", {"127.0.0.1:8451"}, {}, {"multipart/form-data; boundary=x"}, {}}, 415},
        {"no type", {"POST", {"127.0.0.1:8451"}, {}, {}, {}}, 415},
        {"a look-alike type", {"POST", {"127.0.0.1:8451"}, {}, {"application/jsonp"}, {}}, 415},
        {"a delete without type", {"DELETE", {"127.0.0.1:8451"}, {}, {}, {}}, 415},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto refusal = guardRequest(row.head, 8451);
        EXPECT_EQ(refusal ? refusal->status : 0, row.status);
        if (refusal) {
            EXPECT_FALSE(refusal->error.english.isEmpty());
            EXPECT_NE(refusal->error.russian, refusal->error.english) << "said in both languages";
        }
    }

    // Port 80 is the one a client may leave out.
    EXPECT_FALSE(guardRequest({"GET", {"localhost"}, {"http://localhost"}, {}, {}}, 80));
}

// With a token the API answers under any name, to whoever carries the
// token; a probe's GET /health needs none.
TEST(RequestGuard, WithATokenOnlyItsBearerGetsThrough)
{
    const QByteArray token("Xy7-0123456789abcdef");
    const QString json = QStringLiteral("application/json");
    const QString bearer = QStringLiteral("Bearer ") + QLatin1String(token);
    struct Row {
        const char* name;
        RequestHead head;
        int status;
    };
    const Row rows[] = {
        {"from another machine", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {bearer}, "/state"}, 0},
        {"the scheme in any case", {"POST", {"scale-3:8451"}, {}, {json}, {}, {"bearer " + QLatin1String(token)}, "/load"}, 0},
        {"a probe", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {}, "/health"}, 0},
        {"a probe's head", {"HEAD", {"10.0.0.5:8451"}, {}, {}, {}, {}, "/health"}, 0},
        {"no token", {"GET", {"127.0.0.1:8451"}, {}, {}, {}, {}, "/state"}, 401},
        {"a wrong one", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {"Bearer Xy7-0123456789abcdeF"}, "/state"}, 401},
        {"the token cut short", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {"Bearer Xy7-0123456789abcde"}, "/state"}, 401},
        {"the token and more", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {bearer + "f"}, "/state"}, 401},
        {"another scheme", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {"Basic " + QLatin1String(token)}, "/state"}, 401},
        {"given twice", {"GET", {"10.0.0.5:8451"}, {}, {}, {}, {bearer, bearer}, "/state"}, 401},
        {"a change at /health", {"POST", {"10.0.0.5:8451"}, {}, {json}, {}, {}, "/health"}, 401},
        {"still JSON only", {"POST", {"10.0.0.5:8451"}, {}, {"text/plain"}, {}, {bearer}, "/load"}, 415},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto refusal = guardRequest(row.head, 8451, token);
        EXPECT_EQ(refusal ? refusal->status : 0, row.status);
        EXPECT_EQ(refusal && refusal->askToken, row.status == 401);
    }
    // Without a token a probe still names the API.
    EXPECT_EQ(guardRequest({"GET", {"10.0.0.5:8451"}, {}, {}, {}, {}, "/health"}, 8451)->status, 421);
}
