#include "control/post_routes.h"

#include <array>

#include "control/entry_rules.h"
#include "emulation/names.h"
#include "emulation/send_period.h"
#include "serial/fault_plan.h"
#include "serial/port_failure.h"
#include "station/station.h"

namespace korvanteslin {

namespace {

// The display formats, named by their patterns.
std::array<const char*, kDisplayFormats.size()> formatNames()
{
    std::array<const char*, kDisplayFormats.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = kDisplayFormats[i].pattern;
    return names;
}

Words overLimitText(const FaultPlan::OverLimit& over)
{
    return {QStringLiteral("\"%1\" would leave more than %2 pending; %3 are pending now")
                .arg(QLatin1String(over.field))
                .arg(over.most)
                .arg(over.pending),
        QStringLiteral("«%1» оставил бы в очереди больше %2; сейчас в очереди %3")
            .arg(QLatin1String(over.field))
            .arg(over.most)
            .arg(over.pending)};
}

template <class Do>
std::variant<Action, Refusal> planned(Body& body, Do action)
{
    if (const auto refusal = body.refusal())
        return *refusal;
    if constexpr (std::is_void_v<std::invoke_result_t<Do>>)
        return Action([action] { return action(), std::optional<Refusal>(); });
    else
        return Action(action);
}

// The first value the window would replace, clamp or ignore without a word: 422.
std::optional<Refusal> firstBroken(std::initializer_list<std::optional<QString>> refusals)
{
    for (const auto& refusal : refusals)
        if (refusal)
            return Refusal{422, *refusal};
    return std::nullopt;
}

constexpr long kLongestCount = 32767;

const PostRoute kPostRoutes[] = {
    {"/weights", {"weight1", "weight2"},
        [](Body& body, Station& run) {
            const auto first = body.text("weight1"), second = body.text("weight2");
            const DisplayFormat& format = run.terminal().displayFormat();
            if (const auto broken = firstBroken({first ? weightRefusal("weight1", *first, format, run.language()) : std::nullopt,
                    second ? weightRefusal("weight2", *second, format, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (first)
                    run.typeWeight(0, first->toStdString());
                if (second)
                    run.typeWeight(1, second->toStdString());
            });
        }},
    {"/load", {"load"},
        [](Body& body, Station& run) {
            body.require("load");
            const auto load = body.choice("load", kLoadNames);
            const Load loads[] = {Load::Weight1, Load::Weight2, Load::TakeOff};
            return planned(body, [=, &run] { run.pressLoad(loads[*load]); });
        }},
    {"/signals", {"tare", "overload"},
        [](Body& body, Station& run) {
            const auto tare = body.flag("tare"), overload = body.flag("overload");
            return planned(body, [=, &run] {
                if (tare)
                    run.setSignal(kSignalTare, *tare ? 1 : 0);
                if (overload)
                    run.setSignal(kSignalOverload, *overload ? 1 : 0);
            });
        }},
    {"/model", {"model"},
        [](Body& body, Station& run) {
            body.require("model");
            const auto model = body.choice("model", kModelNames);
            return planned(body, [=, &run] { run.pickModel(*model); });
        }},
    {"/format", {"format"},
        [](Body& body, Station& run) {
            body.require("format");
            const auto format = body.choice("format", formatNames());
            return planned(body, [=, &run] { run.pickFormat(std::size_t(*format)); });
        }},
    {"/oscillation", {"amplitude", "count"},
        [](Body& body, Station& run) {
            const auto amplitude = body.text("amplitude"), count = body.text("count");
            if (const auto broken = firstBroken({amplitude ? numberRefusal("amplitude", *amplitude, run.language()) : std::nullopt,
                    count ? wholeNumberRefusal("count", *count, 0, kLongestCount, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (amplitude)
                    run.typeText1(1, amplitude->toStdString());
                if (count)
                    run.typeText1(2, count->toStdString());
                run.applyOscillation();
            });
        }},
    {"/period", {"period_ms"},
        [](Body& body, Station& run) {
            body.require("period_ms");
            const auto period = body.text("period_ms");
            if (const auto broken = firstBroken(
                    {period ? wholeNumberRefusal("period_ms", *period, 1, kLongestSendPeriod, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                run.typeText1(0, period->toStdString());
                run.applyPeriod();
            });
        }},
    {"/cycle", {"on", "max", "period_s"},
        [](Body& body, Station& run) {
            const auto on = body.flag("on");
            const auto max = body.text("max"), period = body.text("period_s");
            if (const auto broken = firstBroken(
                    {max ? wholeNumberRefusal("max", *max, 1, CycleMode::kLimit, run.language()) : std::nullopt,
                        period ? wholeNumberRefusal("period_s", *period, 1, CycleMode::kLimit, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (max)
                    run.typeCycleMax(max->toStdString());
                if (period)
                    run.typeCyclePeriod(period->toStdString());
                if (on && run.Check2 != *on)
                    run.switchCycle(*on);
            });
        }},
    {"/port", {"number", "baud", "parity", "data_bits", "stop_bits"},
        [](Body& body, Station& run) {
            const std::array<std::optional<QString>, 5> boxes{
                body.text("number"), body.text("baud"), body.text("parity"), body.text("data_bits"), body.text("stop_bits")};
            // The boxes as they would stand: a choice that cannot apply is refused before anything is done.
            PortBoxes after = run.Combo1;
            for (std::size_t i = 0; i < boxes.size(); ++i)
                if (boxes[i])
                    after[i] = *boxes[i];
            if (const auto broken = portBoxesRefusal(after, run.language()))
                return std::variant<Action, Refusal>(Refusal{422, *broken});
            return planned(body, [=, &run]() -> std::optional<Refusal> {
                int picked = -1;
                for (std::size_t i = 0; i < boxes.size(); ++i) {
                    if (boxes[i]) {
                        run.typePortBox(i, *boxes[i]);
                        picked = int(i);
                    }
                }
                if (picked < 0)
                    return std::nullopt;
                // One pick (of the port number, when one is given), and its
                // apply step at once: the caller learns how it ended. A
                // device that would not take the choice leaves the line as
                // it was.
                run.pickPortBox(boxes[0] ? 0 : picked);
                if (run.applyPortBoxes(false))
                    return Refusal{422, wordPortFailure(run.port().lastError(), run.language())};
                return std::nullopt;
            });
        }},
    {"/faults", {"drop", "corrupt", "split", "gap_ms", "silence_ms", "garbage"},
        [](Body& body, Station& run) {
            constexpr qint64 kMostFrames = FaultPlan::kMostPendingFrames, kLongestSilenceMs = 86'400'000,
                           kMostGarbage = FaultPlan::kMostPendingGarbage;
            FaultRequest request;
            request.drop = int(body.count("drop", kMostFrames).value_or(0));
            request.corrupt = int(body.count("corrupt", kMostFrames).value_or(0));
            const auto split = body.count("split", kMostFrames);
            const auto gap = body.count("gap_ms", run.sendPeriod());
            request.split = int(split.value_or(0));
            request.gapMs = int(gap.value_or(0));
            request.silenceMs = body.count("silence_ms", kLongestSilenceMs).value_or(0);
            request.garbage = body.hexBytes("garbage", kMostGarbage).value_or(QByteArray()).toStdString();
            if (split.value_or(0) > 0 && !gap)
                body.refuse(Wording{"\"split\" needs \"gap_ms\", at most the period",
                    "для «split» нужен «gap_ms», не больше периода"});
            if (const auto refusal = body.refusal())
                return std::variant<Action, Refusal>(*refusal);
            if (const auto over = run.outlet().faults().overLimit(request))
                return std::variant<Action, Refusal>(Refusal{422, overLimitText(*over)});
            return planned(body, [=, &run] { run.outlet().requestFaults(request); });
        }},
    // The cable pulled out (for a while, with "for_ms") or put back.
    {"/cable", {"plugged", "for_ms"},
        [](Body& body, Station& run) {
            constexpr qint64 kLongestPullMs = 86'400'000;
            body.require("plugged");
            const auto plugged = body.flag("plugged");
            const auto pulledFor = body.count("for_ms", kLongestPullMs);
            if (plugged.value_or(false) && pulledFor)
                body.refuse(Wording{"\"for_ms\" goes with \"plugged\": false", "«for_ms» задаётся вместе с «plugged»: false"});
            return planned(body, [=, &run] {
                run.plugCable(*plugged, pulledFor ? std::optional(std::chrono::milliseconds(*pulledFor)) : std::nullopt);
            });
        }},
    {"/language", {"language"},
        [](Body& body, Station& run) {
            body.require("language");
            const auto language = body.choice("language", kLanguageNames);
            return planned(body, [=, &run] { run.pickLanguage(*language); });
        }},
};

} // namespace

std::span<const PostRoute> postRoutes()
{
    return kPostRoutes;
}

} // namespace korvanteslin
