// SPDX-License-Identifier: MIT
#pragma once

#include <span>
#include <string>
#include <string_view>

class Bridge;

// Who runs an operator command: the window (a button or a menu entry) or
// `tessiro ctl`. A command that behaves differently for the two asks
// kind(); the rest of the interface is what a command may need from the one
// who runs it, and does nothing where that caller has no such thing.
class CommandCaller {
public:
    enum class Kind { Window, Control };

    virtual ~CommandCaller() = default;
    virtual Kind kind() const = 0;

    // The window's settings panel takes the values stored now.
    virtual void takeStoredSettings() {}
    // The window shows the error state as it is now (the tray icon).
    virtual void showErrorState() {}
    // Brings the window to the front; false when the bridge has none.
    virtual bool showWindow() { return false; }
    // Adds the bridge's state to the reply: text lines, or one JSON object.
    virtual void reportState(bool json) { static_cast<void>(json); }
};

// One run of a command.
struct CommandCall {
    Bridge& bridge;
    CommandCaller& caller;
    // The request carried the command's option ("stato --json").
    bool withOption = false;
    // Set by a command that could not run: the reason, for ctl's reply.
    std::string refusal;
};

// Where the window shows a command. Buttons of one place are laid out by
// row and column; the button row has column 0 at its left end and the
// others at its right end.
enum class WindowPlace { None, FiscalReceipt, NonFiscalReceipt, ButtonRow, ToolsMenu };

// One operator command, as the window and `tessiro ctl` both offer it.
struct OperatorCommand {
    // The name for `tessiro ctl`; empty for a command of the window only.
    std::string_view name{};
    // The window's button or menu entry: its object name and caption; empty
    // for a command the window does not show.
    std::string_view objectName{};
    std::string_view caption{};
    WindowPlace place = WindowPlace::None;
    int row = 0;
    int column = 0;
    // What --help (and the man page) say of the ctl command.
    std::string_view help{};
    // The one option ctl may send after the name, or empty.
    std::string_view option{};
    // The command lowers the error state: an error standing after it means
    // one of its own steps failed again.
    bool liftsError = false;
    void (*run)(CommandCall& call) = nullptr;
};

// Every operator command, in the order --help lists them.
std::span<const OperatorCommand> operatorCommands();

// The command `tessiro ctl NAME` runs; null when there is none.
const OperatorCommand* findControlCommand(std::string_view name);
