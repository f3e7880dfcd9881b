"""The page played through a screen reader's ears: what Chromium's
accessibility tree gives over DevTools (Accessibility.getFullAXTree), not
what is drawn. A box is read from the page's live region as it opens; the
question and the verdict from the focused field's name and description.
The keys are the page's own (page.Page), and the question is read off the
screen too, independently, and must agree.

Firefox's WebDriver BiDi has no accessibility tree; its locator by role
and name (browsingContext.locateNodes) tells only that the focused field
has the expected name (Firefox.named)."""

import re
import time

import page
import texts
from report import check

# Every line the page puts in its live region, kept for the test: the
# region itself keeps only the last few.
SAID = """
window.segniSaid = [];
new MutationObserver(changes => changes.forEach(change => {
    if (change.target.id === "segni-annunci")
        change.addedNodes.forEach(node => window.segniSaid.push(node.textContent));
})).observe(document, {childList: true, subtree: true});
"""


def plain(text):
    """As an accessible name reads: blanks folded."""
    return " ".join(text.split())


class Listener(page.Page):
    """A page whose texts are heard, in Chromium."""

    def __init__(self, browser):
        super().__init__(browser)
        browser.call("Accessibility.enable")
        browser.add_script(SAID)

    def tree(self):
        return [node for node in self.browser.call("Accessibility.getFullAXTree")["nodes"]
                if not node.get("ignored")]

    @staticmethod
    def value(node, field):
        return node.get(field, {}).get("value", "")

    def focused(self, only_focused=True):
        """The name and description of the text field that has the page's
        keyboard (the page has one); at the name prompt the page may hold
        its keyboard on the game's canvas for a moment, so there any will do."""
        for node in self.tree():
            properties = {p["name"]: p["value"].get("value") for p in node.get("properties", [])}
            if self.value(node, "role") == "textbox" and (properties.get("focused")
                                                          or not only_focused):
                return self.value(node, "name"), self.value(node, "description")
        return None, None

    def log(self):
        """What the live region holds, in order, as its lines read."""
        nodes = {node["nodeId"]: node for node in self.tree()}
        region = next((n for n in nodes.values() if self.value(n, "role") == "log"), None)
        check(region, "the page has no live region")
        lines = []
        for child in region.get("childIds", []):
            node = nodes.get(child)
            if node:
                lines.append(self.value(node, "name") or " ".join(
                    self.value(nodes[c], "name") for c in node.get("childIds", []) if c in nodes))
        return [plain(line) for line in lines]

    def heard(self, line, seconds=10):
        return self.browser.wait_for("%r said" % line, lambda _: plain(line) in self.log(),
                                     seconds)

    def reads(self, title, text, seconds=10):
        if title == texts.PROMPT_TITLE:
            # The prompt is said, and it is the field's name.
            self.heard(text, seconds)
            self.browser.wait_for("the name prompt's field", lambda _: self.focused(False)[0]
                                  == text or None, seconds)
            return text
        if title.startswith("Data "):
            # The goodbye's title holds the browser's own date.
            self.browser.wait_for("the goodbye said", lambda _: any(
                line.startswith("Data ") and line.endswith(plain(text)) for line in self.log())
                or None, seconds)
            return text
        self.heard("%s. %s" % (title, text), seconds)
        return text

    def question(self, seconds=15):
        """The factors as the answer field's description says them, which
        must be those the screen shows."""
        def heard(_):
            name, description = self.focused()
            found = re.fullmatch(r"Quanto fa ((?:meno )?\d+) per ((?:meno )?\d+) per "
                                 r"((?:meno )?\d+)\?", description or "")
            return (name, found) if found else None
        name, found = self.browser.wait_for("the question said", heard, seconds)
        check(name == texts.ANSWER_NAME, "the answer field is named %r" % name)
        factors = tuple(-int(f[5:]) if f.startswith("meno ") else int(f) for f in found.groups())
        shown = tuple(super().question(seconds))
        check(factors == shown, "the question said %s is not the one shown %s" % (factors, shown))
        return factors

    def verdict(self, right, product, counts, seconds=10):
        """After Enter: the verdict and the counts, on the focused button,
        said once; the clock never said."""
        said = texts.answered(right, product, counts)
        self.browser.wait_for("the verdict said", lambda _: self.focused()
                              == (texts.NEXT_NAME, said) or None, seconds)
        spoken = [plain(line) for line in self.browser.evaluate("window.segniSaid || []")]
        check(spoken.count(plain("%s. %s" % (texts.NEXT_NAME, said))) == 1,
              "the verdict was not said once: %r" % spoken)
        check(not any(line.startswith(texts.CLOCK_NAME) for line in spoken),
              "the clock interrupted: %r" % spoken)
        return said

    def clock(self):
        """The time left, as the list of the game's controls reads it."""
        for node in self.tree():
            name = self.value(node, "name")
            if self.value(node, "role") in ("StaticText", "listitem") and name.startswith(
                    texts.CLOCK_NAME + ": "):
                return name[len(texts.CLOCK_NAME) + 2:]
        return None

    def no_english(self):
        names = [self.value(node, "name") for node in self.tree()]
        check(not any("Screen Reader" in name for name in names),
              "the page still offers Qt's English button")


def firefox_names(browser, role, name):
    """How many nodes of Firefox's page its accessibility locator finds by
    role and name (WebDriver BiDi's browsingContext.locateNodes)."""
    found = browser.call("browsingContext.locateNodes", context=browser.context,
                         locator={"type": "accessibility", "value": {"role": role, "name": name}})
    return len(found.get("nodes", []))


def heard_in_firefox(page, report):
    """Firefox: the focused field has the prompt's name at the prompt (as
    far as its WebDriver BiDi can tell: no tree, no descriptions)."""
    page.browser.wait_for("Firefox's field named %r" % texts.PROMPT, lambda _: firefox_names(
        page.browser, "textbox", texts.PROMPT) or None, 10)
    report.ok("Firefox's accessibility locator finds the field named %r" % texts.PROMPT)
