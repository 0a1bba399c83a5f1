#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"

#include <QDateTime>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/freedesktop/GioHeaders.h"

namespace vantrel::systemcommands {

namespace {

// How long ejecting the disks may take in all.
constexpr int kEjectTimeoutMs = 30000;

QString mountName(GMount* mount) {
    gchar* name = g_mount_get_name(mount);
    QString result = QString::fromUtf8(name);
    g_free(name);
    return result;
}

// Removable disks and network shares: what a user calls "a disk" to eject.
bool isEjectable(GMount* mount) {
    if (g_mount_is_shadowed(mount)) return false;
    if (g_mount_can_eject(mount)) return true;
    if (!g_mount_can_unmount(mount)) return false;
    GDrive* drive = g_mount_get_drive(mount);
    if (!drive) {
        // No drive: a network share counts, a local folder does not.
        GFile* root = g_mount_get_root(mount);
        const bool native = g_file_is_native(root);
        g_object_unref(root);
        return !native;
    }
    const bool removable = g_drive_is_removable(drive) || g_drive_is_media_removable(drive);
    g_object_unref(drive);
    return removable;
}

struct EjectJob {
    QString name;
    bool eject = false;  // else unmount
    bool done = false;
    QString error;
};

}  // namespace

QString ejectAllDisks() {
    // The operations report back on a main context of our own, run here until they end.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();

    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* mounts = g_volume_monitor_get_mounts(monitor);
    std::vector<std::unique_ptr<EjectJob>> jobs;
    for (GList* item = mounts; item; item = item->next) {
        auto* mount = static_cast<GMount*>(item->data);
        if (!isEjectable(mount)) continue;
        auto job = std::make_unique<EjectJob>();
        job->name = mountName(mount);
        job->eject = g_mount_can_eject(mount);
        GMountOperation* operation = g_mount_operation_new();
        const auto finished = [](GObject* source, GAsyncResult* asyncResult, gpointer data) {
            auto* ejectJob = static_cast<EjectJob*>(data);
            GError* error = nullptr;
            auto* finishedMount = G_MOUNT(source);
            const gboolean ok = ejectJob->eject
                                    ? g_mount_eject_with_operation_finish(finishedMount, asyncResult, &error)
                                    : g_mount_unmount_with_operation_finish(finishedMount, asyncResult, &error);
            if (!ok) ejectJob->error = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
            g_clear_error(&error);
            ejectJob->done = true;
        };
        if (job->eject) {
            g_mount_eject_with_operation(mount, G_MOUNT_UNMOUNT_NONE, operation, cancellable, finished, job.get());
        } else {
            g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, operation, cancellable, finished, job.get());
        }
        g_object_unref(operation);
        jobs.push_back(std::move(job));
    }
    g_list_free_full(mounts, g_object_unref);

    const auto allDone = [&] {
        return std::all_of(jobs.begin(), jobs.end(), [](const auto& job) { return job->done; });
    };
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + kEjectTimeoutMs;
    while (!allDone() && QDateTime::currentMSecsSinceEpoch() < deadline) {
        if (!g_main_context_iteration(context, FALSE)) g_usleep(5000);
    }
    if (!allDone()) {
        g_cancellable_cancel(cancellable);
        // Cancelled operations still report back; wait for them so no callback outlives its job.
        while (!allDone()) g_main_context_iteration(context, TRUE);
    }
    g_object_unref(cancellable);
    g_object_unref(monitor);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (jobs.empty()) return QStringLiteral("No disks to eject");
    QStringList failures;
    for (const auto& job : jobs) {
        if (!job->error.isEmpty()) failures << QStringLiteral("%1: %2").arg(job->name, job->error);
    }
    const qsizetype ejected = qsizetype(jobs.size()) - failures.size();
    logger().info("Ejected disks", {{QStringLiteral("ejected"), QString::number(ejected)},
                                    {QStringLiteral("failed"), QString::number(failures.size())}});
    if (!failures.isEmpty()) {
        throw VantrelError(QStringLiteral("Could not eject %1.").arg(failures.join(QStringLiteral("; "))));
    }
    return ejected == 1 ? QStringLiteral("Ejected %1").arg(jobs.front()->name)
                        : QStringLiteral("Ejected %1 disks").arg(ejected);
}

}  // namespace vantrel::systemcommands
