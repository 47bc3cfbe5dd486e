// The hand-over between frmKal270 and the results window: link states 3 and 4
// of the timer cycle. A window is withdrawn and restored through its
// visibility: a withdrawn window can then neither be operated nor be in the
// way, and the results view that a stop closes goes away as the operator
// expects.
#include <QLabel>

#include "frm_kal270.h"
#include "frm_results.h"
#include "skip_step.h"

namespace q270 {

using zdx::skipOnError;

frmResults& frmKal270::results() {
    if (!results_) {
        results_ = std::make_unique<frmResults>(state_.DeviceSerial, transport_.usb(), clock_);
        // The results window asks; this window's cycle owns the flag and closes the view.
        connect(results_.get(), &frmResults::stopRequested, this,
                [this] { state_.StopRequest = 1; });
    }
    return *results_;
}

void frmKal270::stateResultsView() {
    if (state_.ScanRequest != 0) {
        state_.ScanRequest = 0;
        skipOnError("starting the run", [this] {
            setVisible(false);
            results().show();
            statusPanel1_->clear();
            scanActive_ = true;
            // A stop clicked before the run ends it after its first step.
            if (state_.StopRequest != 0) results().requestStop();
            results().Scan();
        });
        scanActive_ = false;
    }
    if (state_.StopRequest != 0) {
        state_.StopRequest = 0;
        skipOnError("ending the results view", [this] {
            results().ScanEnd();
            results().setVisible(false);
            setVisible(true);
        });
        state_.ResultsAvailable = -1;
        state_.LinkState = kLinkOnline;
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void frmKal270::stateReopenResults() {
    skipOnError("reopening the results", [this] {
        results().setVisible(true);
        statusPanel1_->clear();
        results().Scanx();
    });
    state_.LinkState = kLinkResultsView;
}

void frmKal270::closeResults() {
    if (!results_) return;
    results_->allowClose();
    results_->close();
}

}  // namespace q270
