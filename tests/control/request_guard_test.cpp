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
