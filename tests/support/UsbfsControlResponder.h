#pragma once

// Plays a USB device's control endpoint for libusb under umockdev: answers each submitted
// control transfer with the bytes `reply` gives and hands the URB back on the next reap.
// Header-only, so the fake drive's host program uses it too.

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

class UsbfsControlResponder {
public:
    // Fills up to `length` bytes of the data stage; returns how many it wrote.
    using Reply = std::function<int(const unsigned char setup[8], unsigned char* data, int length)>;

    explicit UsbfsControlResponder(Reply reply) : reply_(std::move(reply)) {}
    ~UsbfsControlResponder()
    {
        if (pending_)
            g_object_unref(pending_);
    }

    // Answers the ioctls of the node in `testbed` from now on.
    bool attach(UMockdevTestbed* testbed, const char* node)
    {
        handler_ = umockdev_ioctl_base_new();
        g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&UsbfsControlResponder::handle), this);
        return umockdev_testbed_attach_ioctl(testbed, node, handler_, nullptr);
    }
    void detach(UMockdevTestbed* testbed, const char* node)
    {
        umockdev_testbed_detach_ioctl(testbed, node, nullptr);
        g_object_unref(handler_);
        handler_ = nullptr;
    }

    std::string lastSetup()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lastSetup_;
    }

private:
    static gboolean handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<UsbfsControlResponder*>(self)->ioctl(client);
    }

    gboolean ioctl(UMockdevIoctlClient* client)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (request == USBDEVFS_SUBMITURB) {
            UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                    gsize(urb->buffer_length), nullptr);
            lastSetup_.assign(reinterpret_cast<const char*>(buffer->data), 8);
            unsigned char data[64] = {};
            const int room = std::min<int>(urb->buffer_length - 8, sizeof(data));
            const int n = std::clamp(reply_(buffer->data, data, room), 0, room);
            umockdev_ioctl_data_update(buffer, 8, data, n);
            g_object_unref(buffer);
            urb->actual_length = n;
            urb->status = 0;
            if (pending_)
                g_object_unref(pending_);
            pending_ = urbData; // keeps the reference from resolve
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            if (!pending_) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
            umockdev_ioctl_data_set_ptr(slot, 0, pending_);
            g_object_unref(slot);
            g_object_unref(pending_);
            pending_ = nullptr;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }

    Reply reply_;
    std::mutex lock_;
    UMockdevIoctlData* pending_ = nullptr;
    std::string lastSetup_;
    UMockdevIoctlBase* handler_ = nullptr;
};
