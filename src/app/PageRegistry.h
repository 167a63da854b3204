#pragma once

class ViewController;

// Makes the pages known to the window factory under their container ids and connects
// the services the main window owns for them.
class PageRegistry {
public:
    static void registerPages();
    // The USB watcher and its tracker, owned by the main window; call before start().
    static void attachUsbWatcher(ViewController& window);
};
