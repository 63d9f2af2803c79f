"""Shared helpers of the reasoning tests."""


class Meta:
    """Annotated metadata carrying exactly the attributes it is given."""

    def __init__(self, **attributes):
        self.__dict__.update(attributes)
