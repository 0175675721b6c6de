// Help topic numbers and the help page that holds each one.
//
// Every window, control and menu command of the program that has help
// carries one of these numbers; the help page marks the place with the
// anchor "t<number>" (for example <a name="t1450">). Topic 1000 is the
// contents page.
#pragma once

struct HelpTopicPage {
  int topic;
  const char* page;  // file name inside the help resources (":/help/<page>")
};

inline constexpr int kHelpContentsTopic = 1000;

inline constexpr HelpTopicPage kHelpTopics[] = {
    {1000, "index.html"},
    // The main window and its parts.
    {1300, "mainwin.html"},  // the window
    {1400, "mainwin.html"},  // catalog tabs
    {1450, "mainwin.html"},  // record list ("File Title")
    {1460, "mainwin.html"},  // description
    {1470, "mainwin.html"},  // status bar
    // Records menu.
    {1360, "records.html"},   // Save
    {1370, "records.html"},   // Edit
    {1380, "addfiles.html"},  // Add
    {1390, "records.html"},   // Delete
    {1610, "records.html"},   // Move
    {1620, "records.html"},   // Select All, UnSelect All
    {1330, "search.html"},    // Search
    {1350, "cleanup.html"},   // Remove CR/LF
    {1355, "cleanup.html"},   // Remove Extra Spaces
    {1358, "cleanup.html"},   // Combine CR/LF & Extra Spaces (Options menu)
    {1340, "zip.html"},       // Zip File Archive window
    // Catalog menu.
    {1410, "catalogs.html"},  // Add
    {1420, "catalogs.html"},  // Rename
    {1430, "catalogs.html"},  // Delete
    {1440, "catalogs.html"},  // Volumes...
    {1445, "catalogs.html"},  // Compare with Disk...
    // Reports menu.
    {1310, "reports.html"},  // Catalog
    {1320, "reports.html"},  // Record
    {1870, "reports.html"},  // Options > Full
    {1880, "reports.html"},  // Options > Shaded
    {1885, "reports.html"},  // Options > Header/Footer Box
    // File menu.
    {1510, "fileops.html"},  // Copy
    {1520, "fileops.html"},  // Move
    {1530, "fileops.html"},  // Rename
    {1540, "fileops.html"},  // Delete
    {1550, "fileops.html"},  // Create Folder
    // Options menu.
    {1810, "options.html"},  // Show Help Hints
    {1820, "options.html"},  // Tray Icon
    {1830, "options.html"},  // Keep On Top
    {1840, "options.html"},  // Keep Position/Size
    {1845, "options.html"},  // Flat Buttons
    {1920, "options.html"},  // Set Default Catalog
    // Options > Database.
    {1850, "database.html"},  // Pack
    {1860, "database.html"},  // Backup
    {1865, "database.html"},  // Reindex
};
