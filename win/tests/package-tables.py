#!/usr/bin/python3
"""The two installer packages as Windows Installer's validation (the ICE rules) and a shop's
IT would read them, checked from their tables with msitools' msiinfo. Wine installs a
package however it is authored; these are the rules it cannot check.

    package-tables.py WIN32_BUILD WIN64_BUILD

Prints "ok   ..." or "FAIL ..." per rule and package; exits 1 on any failure."""
import struct
import subprocess
import sys

failures = 0


def check(ok, what):
    global failures
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures += 1


def table(msi, name):
    """The rows of a table as dictionaries (an absent table has none)."""
    out = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True)
    if out.returncode != 0:
        return []
    lines = out.stdout.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def summary(msi):
    out = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True, check=True)
    fields = {}
    for line in out.stdout.splitlines():
        key, _, value = line.partition(": ")
        fields[key] = value
    return fields


def file_version(dll):
    """The DLL's file version from its VS_FIXEDFILEINFO (signature 0xFEEF04BD)."""
    data = open(dll, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


# Folders of a user's profile: a component there does not follow a roaming user, is not
# there for other users (ICE38, ICE91), and its key path would have to be under HKCU.
PROFILE_FOLDERS = {"AppDataFolder", "LocalAppDataFolder", "PersonalFolder", "DesktopFolder",
                   "FavoritesFolder", "MyPicturesFolder", "NetHoodFolder", "PrintHoodFolder",
                   "ProgramMenuFolder", "RecentFolder", "SendToFolder", "StartMenuFolder",
                   "StartupFolder", "TemplateFolder"}
# Folders a per-user installation cannot write (ICE105).
SYSTEM_FOLDERS = {"AdminToolsFolder", "CommonAppDataFolder", "FontsFolder", "System16Folder",
                  "System64Folder", "SystemFolder", "TempFolder", "WindowsFolder", "WindowsVolume"}


def check_package(msi, arch, dll):
    name = "%s package" % arch
    props = {r["Property"]: r["Value"] for r in table(msi, "Property")}
    info = summary(msi)

    # Both scopes from one package, per user by default, without elevation.
    check(props.get("ALLUSERS") == "2" and props.get("MSIINSTALLPERUSER") == "1",
          name + ": a dual-purpose package, per user unless asked (ALLUSERS=2, MSIINSTALLPERUSER=1)")
    check(int(info.get("Source", "0").split()[0]) & 8 != 0,
          name + ": the Word Count summary says that a per-user install needs no elevation")
    check(int(info.get("Version", "0").split()[0]) >= 500, name + ": Windows Installer 5 (Page Count 500)")
    platform = "x64" if arch == "x64" else "Intel"
    check(info.get("Template") == platform + ";3082",
          name + ": Template is %s;3082, got %r" % (platform, info.get("Template")))
    check(props.get("ProductLanguage") == "3082", name + ": product language 3082")

    # Installing while the host runs: the host is not closed behind the user's back.
    check(props.get("MSIRESTARTMANAGERCONTROL") == "Disable",
          name + ": the Restart Manager does not close the host (MSIRESTARTMANAGERCONTROL=Disable)")
    sequence = {r["Action"] for r in table(msi, "InstallExecuteSequence")}
    check(not sequence & {"ScheduleReboot", "ForceReboot"}, name + ": it never asks for a restart itself")

    # The launch condition for terminal servers, in Spanish.
    conditions = {r["Condition"]: r["Description"] for r in table(msi, "LaunchCondition")}
    message = conditions.get("ALLUSERS OR NOT TerminalServer", "")
    check("todos los usuarios" in message,
          name + ": refuses a per-user install on a terminal server, saying so in Spanish")

    # ICE38, ICE91, ICE105: nothing under a profile or system folder; no custom action
    # that runs without impersonation; every registry entry in the scope's own root.
    directories = {r["Directory"] for r in table(msi, "Directory")}
    check(not directories & PROFILE_FOLDERS,
          name + ": nothing under a user's profile folder (ICE38, ICE91): %s" % sorted(directories & PROFILE_FOLDERS))
    check(not directories & SYSTEM_FOLDERS,
          name + ": nothing under a system folder (ICE105): %s" % sorted(directories & SYSTEM_FOLDERS))
    elevated = [r["Action"] for r in table(msi, "CustomAction") if int(r["Type"]) & 0x800]
    check(not elevated, name + ": no custom action without impersonation (ICE105): %s" % elevated)
    roots = {r["Root"] for r in table(msi, "Registry")}
    check(roots == {"-1"}, name + ": every registry entry under the scope's root, HKMU (-1): %s" % sorted(roots))

    # The DLL as a versioned file, so that an update replaces it by version.
    files = table(msi, "File")
    dlls = [f for f in files if f["FileName"].lower().endswith("brosk.dll")]
    expected = file_version(dll)
    check(len(dlls) == 1 and dlls[0]["Version"] == expected and dlls[0]["Language"] == "3082",
          name + ": brosk.dll's version %s and language 3082 in the File table: %s"
          % (expected, [(f["Version"], f["Language"]) for f in dlls]))

    # Programs and Features.
    icons = {r["Name"] for r in table(msi, "Icon")}
    check(props.get("ARPPRODUCTICON") in icons, name + ": the product's icon")
    check(props.get("ARPNOMODIFY") == "1", name + ": no Change button (ARPNOMODIFY)")
    check(bool(props.get("ARPCONTACT")) and props.get("Manufacturer") == "brosk",
          name + ": who makes it (Manufacturer, ARPCONTACT)")

    components = {}
    for c in table(msi, "Component"):
        guid = c["ComponentId"]
        check(guid == guid.upper() and guid.startswith("{"), name + ": component %s's GUID in upper case" % c["Component"])
        components[guid] = c
    if arch == "x86":
        check(all(int(c["Attributes"]) & 256 == 0 for c in components.values()),
              name + ": no 64-bit component in a 32-bit package")
    return components, table(msi, "Registry")


def main():
    win32, win64 = sys.argv[1], sys.argv[2]
    env = {}
    for build in (win32, win64):
        for line in open(build + "/brosk-msi.env"):
            key, _, value = line.strip().partition("=")
            env.setdefault(build, {})[key] = value
    packages = {}
    for build in (win32, win64):
        e = env[build]
        msi = "%s/brosk-%s-%s.msi" % (build, e["version"], e["arch"])
        packages[e["arch"]] = check_package(msi, e["arch"], build + "/win/brosk.dll")

    # Across the two packages: a component that both hold is one component, with the same
    # bitness and the same entries (Windows Installer counts its users; a component GUID
    # that is 32-bit in one package and 64-bit in the other breaks that count); every
    # other component has a GUID of its own.
    (c32, r32), (c64, r64) = packages["x86"], packages["x64"]
    shared = set(c32) & set(c64)
    for guid in sorted(shared):
        a, b = c32[guid], c64[guid]
        check(int(a["Attributes"]) & 256 == int(b["Attributes"]) & 256,
              "both packages: component %s %s has the same bitness in both" % (a["Component"], guid))

        def entries(rows, component):
            return sorted((r["Root"], r["Key"], r["Name"], r["Value"]) for r in rows if r["Component_"] == component)

        check(entries(r32, a["Component"]) == entries(r64, b["Component"]),
              "both packages: component %s writes the same entries in both" % a["Component"])
    check(len(shared) == 1, "both packages: one component in common (the ProgID and type library entry), got %d" % len(shared))
    print("%d failure(s)" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
