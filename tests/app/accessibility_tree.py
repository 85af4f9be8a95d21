"""Reads the main window's accessible tree through the desktop's accessibility bus, as a
screen reader does: every page lists its controls by name and role, picture buttons are named
by the words on their pictures with their hints as descriptions, no decorative picture shows,
no control goes unnamed,
and pressing "Create!" answers at once. Exits 1 and says what is missing otherwise."""
import sys
import time

import pyatspi

EXPECTED = {  # page tab: (role, name) of its controls
    "Add picture": [("push button", "Add file"), ("push button", "Delete"),
                    ("push button", "Show big"), ("push button", "Print..."),
                    ("list", "Album pictures"), ("tree", "Folders"),
                    ("combo box", "All pictures"), ("filler", "Picture preview")],
    "Sort": [("list", "Album pictures in order"), ("push button", "Move upward"),
             ("push button", "Move downward")],
    "Comments": [("list", "Pictures to comment"), ("check box", "Show comment"),
                 ("text", "Comment for picture")],
    "Create Glimmervellium": [("push button", "Create!"),
                              ("push button", "Background color..."),
                              ("spin button", "Width:"), ("text", "Caption:"),
                              ("spin button", "Thumbnails per line:")],
    "View result": [("label", "Created album")],
    None: [("push button", "New"), ("push button", "Save as..."),
           ("push button", "Info"), ("push button", "Quit")],
}
# Containers and parts that a reader passes through without announcing them by name.
UNNAMED_ROLES = {"filler", "panel", "page tab", "layered pane", "scroll pane", "scroll bar",
                 "viewport", "frame", "window", "application", "table cell", "list item",
                 "tree item", "menu"}
DESCRIPTIONS = {"Create!": "Create HTML file!", "Info": "Information about the program",
                "Quit": "Hereby you leave the program"}


def walk(node, depth=0):
    if node is not None and depth < 30:
        yield node
        for child in node:
            yield from walk(child, depth + 1)


def controls(node):
    return {(item.getRoleName(), item.name): item for item in walk(node)}


def main():
    application = None
    for _ in range(300):
        application = next((a for a in pyatspi.Registry.getDesktop(0)
                            if a is not None and a.name == sys.argv[1]), None)
        if application is not None:
            break
        time.sleep(0.2)
    if application is None:
        print("accessibility: the program never appeared on the accessibility bus")
        return 1
    tabs = next(n for n in walk(application) if n.getRoleName() == "page tab list")
    pages = next(n for n in walk(application) if n.getRoleName() == "layered pane")
    found = {None: controls(application)}
    for tab, page in zip(tabs, pages):
        found[tab.name] = controls(page)
    missing = [f"{page}: {name!r} as {role}" for page, wanted in EXPECTED.items()
               for role, name in wanted if (role, name) not in found.get(page, {})]
    for name, hint in DESCRIPTIONS.items():
        button = found[None].get(("push button", name))
        if button is not None and button.description != hint:
            missing.append(f"{name!r} described as {hint!r}, not {button.description!r}")
    missing += [f"no decorative picture, but {key}" for key in found[None] if key[0] == "image"]
    missing += [f"a name for the {role} on the page {page}" for page, items in found.items()
                for role, name in items if not name and role not in UNNAMED_ROLES]
    create = found[None].get(("push button", "Create!"))
    if create is not None:
        action = create.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names:
            missing.append("'Create!' offers no press action")
        else:
            start = time.monotonic()
            action.doAction(names.index("press"))  # opens the save dialog after replying
            took = time.monotonic() - start
            if took > 1:
                missing.append(f"a reply to pressing 'Create!' within 1 s, not {took:.1f} s")
    for line in missing:
        print("accessibility: missing", line)
    print(f"accessibility: {len(found[None])} objects read, {len(missing)} missing")
    return 1 if missing else 0


sys.exit(main())
