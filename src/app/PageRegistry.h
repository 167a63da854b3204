#pragma once

class CloudClients;
class ViewController;

// Makes the pages known to the window factory under their container ids and connects
// the services the main window owns for them.
class PageRegistry {
public:
    // The cloud pages work with `cloud`'s clients; once it is gone they are no longer made.
    static void registerPages(CloudClients& cloud);
    // The USB watcher and its tracker, owned by the main window; call before start().
    static void attachUsbWatcher(ViewController& window);
};
