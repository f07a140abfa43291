"""What the host-side test scripts share: the product's own texts, Wine's
names for host paths, a package's Property rows as msiinfo reads them, and
the payload list. Import it with tests/support on sys.path."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from payload import cultures, payload_files  # noqa: E402,F401

TITLE = "Ulverane Photo Setup"
ERROR_CAPTION = "Ulverane Setup"
# As the window readers write them: a line break as "\n".
HELP_TEXT = ("Options:\\n\\n/help\\tShow this message\\n/extract\\tCreate MSI for silent "
             "installation with the options chosen in a dialog\\n/defaults\\tCreate MSI for "
             "silent installation (for use with an Ulverane.defaults file)\\n")
VERSION_TEXT = "This product can only be installed on Windows 7 Service Pack 1 or higher"
START_TEXT = "Failed to start Setup. Please contact Technical Support."
DOTNET_TEXT = ("Failed to start Setup. It looks like Microsoft .NET 3.5 has been turned off on "
               "this computer.\\nOpen the Windows Features app to turn it back on?")


def wine_path(path):
    """A host path as Wine's Z: drive names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def property_rows(package):
    """The package's Property table as {name: value}."""
    out = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True,
                         check=True).stdout.decode("utf-8")
    return dict(line.rstrip("\r").split("\t", 1) for line in out.split("\n")[3:] if "\t" in line)
