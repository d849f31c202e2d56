// A stand-in for a second Quillfern process: channel-probe FOLDER LINK... hands the links to the primary
// (exit 0 when it confirmed, 3 when not; 2 when this process became the primary itself).
// channel-probe --serve FOLDER becomes the primary and waits until killed.

#include "auth/desktop/InstanceChannel.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool serve = !arguments.isEmpty() && arguments.first() == QLatin1String("--serve");
    if (serve)
        arguments.removeFirst();
    if (arguments.isEmpty())
        return 64;
    quillfern::InstanceChannel channel(arguments.takeFirst());
    const auto role = channel.claim();
    if (serve) {
        if (role != quillfern::InstanceChannel::Role::Primary)
            return 2;
        std::printf("primary\n");
        std::fflush(stdout);
        return application.exec();
    }
    if (role == quillfern::InstanceChannel::Role::Primary)
        return 2;
    return channel.forward(arguments) ? 0 : 3;
}
