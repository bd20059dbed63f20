// The reply dispatcher: splits received text into lines, logs them and
// recognises the amplifier's identification.
#include "app/Unit1.h"

#include "widgets/ColorButton.h"

#include <QTimer>

void TForm1::SerialPortReceive(TSerialPort *, const QByteArray &Buffer) {
    const QList<QByteArray> parts = Buffer.split('\r');
    for (int i = 0; i + 1 < parts.size(); ++i) {
        QByteArray line = parts.at(i);
        if (i > 0 && !line.isEmpty())
            line.remove(0, 1); // the LF after the previous CR
        Log(Protocol::ReceivedEcho(line));
        if (Protocol::HasPrefix(line, Protocol::RepIdentified)) {
            Session.PaIdentified = true;
            openport->SetCaption(ConnectionCaption::Connected);
            Timer1->stop();
            Session.ConnectTicks = 0;
            Log(Protocol::ReceivedEcho(Protocol::RepIdentified));
        }
    }
}
