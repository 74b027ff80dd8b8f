# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""The two ways a farm run fails, with telvo's exit codes."""

EXIT_OK, EXIT_FAILURE, EXIT_USAGE = 0, 1, 2


class FarmError(Exception):
    """A failure: the message is the one line the run ends with."""

    code = EXIT_FAILURE

    def __init__(self, message, code=None):
        super().__init__(message)
        if code is not None:
            self.code = code


class UsageError(FarmError):
    code = EXIT_USAGE
