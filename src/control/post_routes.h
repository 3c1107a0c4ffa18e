#pragma once

// The POST routes of the control API: the fields each takes, and how a
// checked body becomes the operator's action on the station, or a refusal.

#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <variant>

#include "control/request_body.h"

namespace korvanteslin {

class Station;

// What a request does, once it has been found sound; a refusal when the
// run itself turned it down (a device that would not take the settings).
using Action = std::function<std::optional<Refusal>()>;

// Each POST path: the fields it takes, and how a checked body becomes the
// operator's action on the run (or a refusal).
using Planner = std::function<std::variant<Action, Refusal>(Body&, Station&)>;

struct PostRoute {
    const char* path;
    std::initializer_list<const char*> fields;
    Planner plan;
};

// Every POST route, in no particular order.
std::span<const PostRoute> postRoutes();

} // namespace korvanteslin
