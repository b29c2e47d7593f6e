#pragma once

#include <string>
#include <vector>

class CMainFrame;

// A scripted walk through the program for screenshots and demonstrations. KOLPEX_DEMO_SCRIPT names
// a text file of commands, one a line, run one after the other once the main window is up:
//   market NASDAQ          open a market list (market code or menu caption)
//   find corp              "Find Qoute in a List" in the active list window, answered with the text
//   open 3                 double-click row 3 (0-based) of the active list window
//   quote US:MSFT          open a quote window for country code and symbol
//   write-to-file on       quote windows opened afterwards write their data file (on or off)
//   refresh-every 1000     quote windows opened afterwards refresh every so many milliseconds
//   tile | cascade         arrange the child windows
//   resize 1024 768        resize the main window
//   wait 500               let the program run for so many milliseconds
//   screenshot docs/x.png  save a picture of the main window (the directory is created)
//   quit                   end the program (also done after the last line)
// Blank lines and lines starting with # are skipped. A failing step is reported on standard
// error and the program ends with status 1 after the script.
struct DemoCommand {
    int line = 0;
    std::string verb;
    std::string argument;
};

// Splits a script into commands. False with a message naming the line on the first unknown verb
// or malformed argument.
bool ParseDemoScript(const std::string& text, std::vector<DemoCommand>& commands, std::string& error);

// Starts the script named by KOLPEX_DEMO_SCRIPT, if that is set; does nothing otherwise.
void RunDemoScriptIfRequested(CMainFrame& frame);
