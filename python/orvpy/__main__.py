"""``python -m orvpy``: the ``orv`` command."""

import sys

from orvpy.cli import main

sys.exit(main())
