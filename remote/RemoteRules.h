// SPDX-License-Identifier: GPL-3.0-or-later
// Pure rules of the network control server: the listen address and the
// allow list, which peers may stay, how a command line splits and the band
// plan behind get_freq/set_freq. (SWR from forward and reverse power is the
// readings' own rule, link/Readings.h.)
#pragma once

#include "link/Facts.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

namespace remote {

// Hamlib's error numbers as they go out in "RPRT n".
enum RigError : int {
    RigOk = 0,
    RigEInval = -1,   // invalid parameter
    RigENimpl = -4,   // not implemented (unknown command)
    RigETimeout = -5, // the amplifier does not answer: no reading is current
    RigEIO = -6,      // the port is lost or missing: no reading is current
    RigERjcted = -9,  // rejected: not connected, no manual bands, no such band
    RigENavail = -11, // not available here; no port open
    RigBusBusy = -14, // a raw line is still waiting for the line
};

// Hamlib's power states.
// Hamlib's powerstat_t; RIG_POWER_UNKNOWN is 8.
enum PowerStat : int {
    PowerOff = 0,
    PowerOn = 1,
    PowerStandby = 2,
    PowerOperate = 4,
    PowerUnknown = 8
};

constexpr int MaxLineBytes = 1024;
constexpr int MaxClients = 32;
// Clients from one address other than loopback.
constexpr int MaxPerAddress = 8;
// Places of the MaxClients that only a loopback client may take, so that
// clients from elsewhere never lock out the station's own software.
constexpr int LoopbackReserve = 4;

// Why a new client is refused, or an empty string: `clients` are connected,
// `remote` of them from addresses other than loopback, `fromPeer` from the
// newcomer's address.
QString Refusal(bool loopback, int clients, int remote, int fromPeer);

// [Network] IdleTimeout= in seconds (fractions allowed) as milliseconds;
// empty: the default, 300 s; 0: no time-out. False for anything else.
bool ParseIdleTimeout(const QString &text, qint64 *ms);

struct ListenAddress {
    QHostAddress host;
    quint16 port = 0; // 0: any free port
};

// "HOST:PORT" or "[IPv6]:PORT"; HOST is a literal address or "localhost".
// An empty HOST, 0.0.0.0 and [::] are every address of both families.
// Returns an empty string on success, else what is wrong.
QString ParseListen(const QString &text, ListenAddress *out);

using Subnet = QPair<QHostAddress, int>;

// Addresses and CIDR ranges separated by commas or blanks. Returns an empty
// string on success, else the entry that is wrong.
QString ParseAllow(const QString &text, QList<Subnet> *out);

// An IPv4 address a dual-stack listener sees as ::ffff:a.b.c.d, as IPv4.
QHostAddress Unmapped(const QHostAddress &a);

// Whether a peer may stay connected: a local one always (the station's own
// software), another when it is on the allow list.
bool PeerAllowed(const QHostAddress &peer, const QList<Subnet> &allow);

// An allow entry of the family that a listen address of the other family
// can never receive, with why; empty when there is none.
QString UnreachableEntry(const QHostAddress &listen, const QList<Subnet> &allow);

struct CommandLine {
    char separator = 0;     // 0: default protocol; else the extended form's record separator
    QByteArray word;        // the command word without its backslash
    bool longName = false;  // the word was written with a leading backslash
    QList<QByteArray> args; // blank-separated arguments
    QByteArray rest;        // everything after the word and one blank (for send_cmd)
};

// Splits one line (without its newline). False for an empty line and for a
// comment, which starts with "#" (ampctld ignores both); a word starting
// with "#" after the command begins a comment too.
bool ParseCommandLine(const QByteArray &line, CommandLine *out);

// The band plan and the binary-line rule are the link's facts.
using Facts::BandForFrequency;
using Facts::BandLowerEdge;
using Facts::IsBinaryLine;

} // namespace remote
