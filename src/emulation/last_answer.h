#pragma once

#include <utility>

namespace korvanteslin {

// The last answer of a pure function, kept with the question it answered.
// At a short period nearly every frame asks what the one before asked (a
// settled weight, the same loads), and formatting and reading numbers is
// most of the work of a tick.
template <typename Question, typename Answer>
class LastAnswer {
public:
    template <typename Work>
    const Answer& of(const Question& question, Work&& work)
    {
        if (!known_ || !(question == question_)) {
            answer_ = std::forward<Work>(work)(question);
            question_ = question;
            known_ = true;
        }
        return answer_;
    }

private:
    bool known_ = false;
    Question question_{};
    Answer answer_{};
};

} // namespace korvanteslin
