#pragma once

#include "engine/EngineInterfaces.h"

#include <string_view>

namespace velmar {

// A Yes/No question with its own caption. The crosspoint commands name their
// box ("Crosspoint control", "Crosspoint status" ...); an empty title means the
// main window's caption. Only Yes proceeds.
class IQuestions {
public:
    virtual ~IQuestions() = default;
    virtual bool askYesNo(std::string_view title, std::string_view text) = 0;
};

// Asks through a plain operator, which shows every box under its own caption.
class COperatorQuestions final : public IQuestions {
public:
    explicit COperatorQuestions(IOperator& op) : m_operator(op) {}
    bool askYesNo(std::string_view, std::string_view text) override {
        return m_operator.askYesNo(text);
    }

private:
    IOperator& m_operator;
};

} // namespace velmar
