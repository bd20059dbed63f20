// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier's end of the serial line: the master side of a
// pseudo-terminal whose slave side the panel opens as its serial device.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace sim {

class PtyPort : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PtyPort)

public:
    explicit PtyPort(QObject *parent = nullptr);
    ~PtyPort() override;

    // Creates a new pseudo-terminal; its slave side is set to 9600 8N1 raw.
    bool open(QString *error);
    // Closes the master: the panel's reads on the device fail from now on.
    void unplug();
    bool isOpen() const { return m_master >= 0; }
    QString devicePath() const { return m_path; }
    // True while some program (the panel) has the device open.
    bool hasListener() const { return m_listener; }

    // At 9600 baud a byte takes 1.04 ms; paced output keeps that rate.
    void setPaced(bool paced) { m_paced = paced; }
    // Queues bytes for the panel. Written while nobody holds the device they
    // would wait in the terminal for the next opener, so they are dropped, as
    // on a cable with nobody at the other end; returns false then.
    bool write(const QByteArray &bytes);

Q_SIGNALS:
    void received(const QByteArray &bytes);
    void listenerChanged(bool present);

private:
    void readMaster();
    void drainAfterHangUp();
    void checkListener();
    void flush();
    void setListener(bool present);

    int m_master = -1;
    QString m_path;
    bool m_listener = false;
    bool m_paced = false;
    QByteArray m_out;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_listenerPoll; // while nobody holds the slave, the master reports a hang-up
    QTimer m_paceTimer;
    QElapsedTimer m_paceClock;
    qint64 m_pacedBytes = 0;
};

} // namespace sim
