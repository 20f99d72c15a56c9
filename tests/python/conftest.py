import os
import sys

_module_dir = os.environ.get("ORVPY_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)
