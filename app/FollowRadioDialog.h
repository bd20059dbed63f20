// SPDX-License-Identifier: GPL-3.0-or-later
// File, "Follow the radio…": the address of the rigctld that shares the
// radio, a test that connects once and shows the radio's frequency, and
// following switched off and on. OK saves both in [Rig] and starts the
// station's follower on them; while open, the follower's state is shown.
#pragma once

#include "rig/FollowRules.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Settings;
class Station;

namespace rig {
class RigctldClient;
}

class FollowRadioDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FollowRadioDialog)
public:
    FollowRadioDialog(Station &station, Settings &settings, QWidget *parent = nullptr);
    ~FollowRadioDialog() override;

    // The follower's state in one line: what the radio is on and why
    // nothing was sent.
    static QString StatusText(const rig::Status &status);

    void accept() override;

private:
    void Test();
    void ShowStatus();

    Station &station;
    Settings &settings;
    QLineEdit *addressEdit = nullptr;
    QCheckBox *followBox = nullptr;
    QPushButton *testButton = nullptr;
    QLabel *testResult = nullptr;
    QLabel *statusLabel = nullptr;
    std::unique_ptr<rig::RigctldClient> probe;
};
