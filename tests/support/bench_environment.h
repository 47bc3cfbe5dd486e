// One zdx-bench process and one settings folder for a whole window test
// program: the access library binds its backend once per process, so the bench
// is started, and its environment exported, before the first library call, and
// every test loads its own scenario into the same bench.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <utility>

#include "bench_session.h"

namespace zdx::testing {

class BenchEnvironment : public ::testing::Environment {
  public:
    // Registers the environment of this test program (gtest owns it); the bench
    // starts with `scenario`.
    static BenchEnvironment& add(std::string scenario) {
        auto environment =
            std::unique_ptr<BenchEnvironment>(new BenchEnvironment(std::move(scenario)));
        BenchEnvironment& added = *environment;
        ::testing::AddGlobalTestEnvironment(environment.release());
        return added;
    }

    void SetUp() override {
        bench_ = std::make_unique<zdx::bench::BenchSession>(scenario_);
        bench_->exportEnvironment();
        settings_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(settings_->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_->path());
    }
    void TearDown() override {
        bench_.reset();
        settings_.reset();
    }

    // The bench while the tests run (empty before and after).
    std::unique_ptr<zdx::bench::BenchSession>& bench() { return bench_; }

  private:
    explicit BenchEnvironment(std::string scenario) : scenario_(std::move(scenario)) {}

    std::string scenario_;
    std::unique_ptr<zdx::bench::BenchSession> bench_;
    std::unique_ptr<QTemporaryDir> settings_;
};

}  // namespace zdx::testing
