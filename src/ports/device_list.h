#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ports/pcsc_port.h"

namespace puolukka {

class DevicePort;

// One device the machine offers for a port, as the device dialog lists it.
struct DeviceChoice {
    std::string device;   // the text ports.ini takes: "/dev/ttyUSB0", "virtual", "rfc2217://"
    std::string kind;     // what it is, for the user: "USB-sarjasovitin", "Esittelykortti", ...
    std::string problem;  // why this user cannot open it now; empty when it can be tried
};

// Where the machine's devices are looked for; tests lay out a machine of their own.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty";
    // The PC/SC readers, as listPcscReaders gives them (false: the service does not answer).
    std::function<bool(std::vector<PcscReader>&)> pcscReaders = [](std::vector<PcscReader>& r) {
        return listPcscReaders(r);
    };
};

// The serial devices of the machine: the /dev/ttyS<n> whose UART exists (the
// kernel makes the nodes for ports that are not there; their sysfs type is 0),
// /dev/ttyUSB<n> and /dev/ttyACM<n> (USB adapters), and /dev/serial/by-id/*
// (the same adapters by names that stay when they are plugged elsewhere).
std::vector<DeviceChoice> serialDevices(const DeviceRoots& roots = {});

// The PC/SC choices: "pcsc" (the first reader that holds a card), then
// "pcsc:<name>" for each reader, so a reader is chosen by its whole name. With
// no service or no reader the single "pcsc" row says so, as a USB reader
// needs pcscd before it can be listed.
std::vector<DeviceChoice> pcscChoices(bool serviceAnswers, const std::vector<PcscReader>& readers);

// Everything a port can stand for: the serial devices, the PC/SC readers,
// then the built-in demo card, the virtual card file of the start folder, and
// a network reader ("rfc2217://", to be completed with host:port).
std::vector<DeviceChoice> deviceChoices(const DeviceRoots& roots = {});

// How to get the right to use a device that belongs to a group the user is
// not in, in the words the port's error and the device dialog show.
std::string permissionHint(const std::string& device, const std::string& group, const std::string& user);
// Why the user cannot open the device file (read and write), with the hint;
// empty when it can (or is no file: a virtual or network device).
std::string accessProblem(const std::string& device);

// Writes the choices (port number: device, "" for the port's default) to
// ports.ini in the folder and lets the port use them at once: an open port
// whose device changed is closed and opened on the new one. False with a
// description when the file cannot be written (nothing changed); true when it
// was, with *error telling why the new device could not be opened, if so.
bool applyPortChoices(DevicePort& port, const std::string& folder, const std::map<int, std::string>& devices,
                      std::string* error);

}  // namespace puolukka
