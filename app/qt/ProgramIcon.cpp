// Builds the program icon from the PNG sizes compiled into the icons resource.
#include "ProgramIcon.h"

#include <QPixmap>
#include <QString>

// The resource lives in a static library; without this reference the linker drops it unseen.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(icons);
}

QIcon ProgramIcon() {
    static const bool registered = (RegisterIconResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        // Loaded now rather than lazily, so a size missing from the resources leaves a gap in
        // availableSizes() instead of a silently empty entry.
        const QPixmap pixmap(QStringLiteral(":/icons/zelqorhdr-%1.png").arg(size));
        if (!pixmap.isNull())
            icon.addPixmap(pixmap);
    }
    return icon;
}
