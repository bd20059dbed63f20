// SPDX-License-Identifier: GPL-3.0-or-later
// The device of one open connection: its descriptor under one lock, and the
// stop and end of the connection.
#include "serial/SerialDevice.h"

#include <chrono>

SerialDevice::SerialDevice(const QString &Path, const PosixSerial::LineConfig &Config)
    : path(Path), link(Transport::For(Path)) {
    const Transport::Opened opened = link->Open(path);
    if (opened.fd < 0) {
        openError = opened.error;
        openFailure = link->FailureMessage(path, opened);
        return;
    }
    fd = opened.fd;
    link->Configure(fd, Config);
    connected = true;
}

SerialDevice::~SerialDevice() {
    CloseDescriptor(false);
}

std::uint8_t SerialDevice::ModemLines() {
    std::lock_guard<std::mutex> lock(fdMutex);
    return fd < 0 ? 0 : link->ModemLines(fd);
}

int SerialDevice::QueuedInput() {
    std::lock_guard<std::mutex> lock(fdMutex);
    return fd < 0 ? -1 : link->QueuedInput(fd);
}

QByteArray SerialDevice::Read(int MaxBytes) {
    std::lock_guard<std::mutex> lock(fdMutex);
    if (fd < 0)
        return QByteArray();
    PosixSerial::ReadStatus status;
    return link->Read(fd, MaxBytes, &status);
}

bool SerialDevice::IsOpen() {
    std::lock_guard<std::mutex> lock(fdMutex);
    return fd >= 0;
}

std::optional<long> SerialDevice::Write(const QByteArray &Bytes) {
    std::lock_guard<std::mutex> lock(fdMutex);
    if (fd < 0)
        return std::nullopt;
    return link->Write(fd, Bytes, 0);
}

std::optional<bool> SerialDevice::Reconfigure(const PosixSerial::LineConfig &Config) {
    std::lock_guard<std::mutex> lock(fdMutex);
    if (fd < 0)
        return std::nullopt;
    // Bytes that arrived but were not read yet go with the old settings. A
    // network stream has no line settings: nothing is lost.
    link->PurgeInput(fd);
    return link->Configure(fd, Config);
}

bool SerialDevice::HungUp() {
    std::lock_guard<std::mutex> lock(fdMutex);
    return fd >= 0 && link->HungUp(fd);
}

void SerialDevice::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(waitMutex);
        stop = true;
    }
    wake.notify_all();
}

void SerialDevice::WaitForStop(std::uint32_t Ms) {
    std::unique_lock<std::mutex> lock(waitMutex);
    wake.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return stop.load(); });
}

void SerialDevice::Finish(const std::function<void()> &Announce) {
    // Not connected any more before the announcement, so nobody who hears
    // of the end can still find the connection open.
    if (connected.exchange(false)) {
        try {
            Announce();
        } catch (...) {
        }
    }
    // Only the input is discarded: a command written just before the end
    // (the last "PA?" of a give-up) must still reach the line.
    CloseDescriptor(true);
    std::lock_guard<std::mutex> lock(waitMutex);
    ended = true;
    wake.notify_all();
}

bool SerialDevice::WaitEnded(int Ms) {
    std::unique_lock<std::mutex> lock(waitMutex);
    return wake.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return ended.load(); });
}

void SerialDevice::CloseDescriptor(bool purgeInput) {
    std::lock_guard<std::mutex> lock(fdMutex);
    if (fd < 0)
        return;
    if (purgeInput)
        link->PurgeInput(fd);
    link->Close(fd);
    fd = -1;
}
