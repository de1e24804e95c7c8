#pragma once

#include "ctl/CCtlRunner.h"
#include "engine/CQtTimerHost.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::test {

// velmarctl run in this process, so the simulated frames and the command
// share one event loop; what it prints is kept for the test.
class CtlInProcess : public ::testing::Test {
protected:
    // Real timers; a fixture that steers the alive supervision brings its own.
    virtual CtlEnvironment environment() {
        CtlEnvironment e;
        e.out = [this](std::string_view text) { out += text; };
        e.err = [this](std::string_view text) { err += text; };
        e.timers = [](std::function<void(int)> fired) {
            return std::make_unique<CQtTimerHost>(std::move(fired));
        };
        return e;
    }

    int run(std::vector<std::string_view> args) {
        out.clear();
        err.clear();
        runner = std::make_unique<CCtlRunner>(environment());
        return runner->runArguments(args);
    }

    // The printed document; a test fails when it is not one JSON object.
    QJsonObject json() const {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
        EXPECT_TRUE(doc.isObject()) << out;
        return doc.object();
    }

    std::string out;
    std::string err;
    std::unique_ptr<CCtlRunner> runner;
};

} // namespace velmar::test
