#!/usr/bin/env node
// A small stand-in for GitHub's web API on 127.0.0.1, for the GitHub suites:
// GraphQL at /graphql (POST with a JSON body only: like GitHub, a GET is
// refused) and the REST paths the integration uses
// (notifications, workflow runs and their re-run, cancel and delete), over one
// user's pull requests, issues and repositories held in memory. Mutations
// change that state, so a later list shows them.
//
// It prints {"listening": PORT} when it is ready, then one line per request
// ({"request": {...}}). Lines of JSON on standard input steer it; each is
// answered with {"ack": N}:
//   {"fail": {"status": 500, "contentType": "text/html", "body": "...", "count": 1, "operation": "ClosePullRequest"}}
//   {"truncate": {"count": 1}}                  the next answer's JSON is cut in half
//   {"rateLimit": {"status": 403|429, "retryAfter": SECONDS, "count": 1}}
//   {"tokens": ["..."]}                         the access tokens it accepts (default: "gho_valid")
//   {"hold": "OPERATION"} / {"release": "OPERATION"}   keep answers back until released
//   {"seedPulls": N}                            N more pull requests by the user (benchmarks)
//   {"device": {"interval": 1, "expiresIn": 900, "pending": 1, "slowDown": 0, "outcome": "approve"}}
//        the device sign-in (RFC 8628): polls answered authorization_pending `pending` times, then
//        slow_down `slowDown` times, then the outcome ("approve", "access_denied" or "expired_token").
//        A poll that comes before the interval has passed is logged as early and slowed down, as
//        GitHub does.
//   {"oauthError": {"error": "...", "error_description": "...", "status": 200}}   the token endpoint's next answer
'use strict';
import http from 'node:http';
import readline from 'node:readline';

let port = 0;
const base = () => `http://127.0.0.1:${port}`;
const avatar = (login) => `${base()}/avatars/${login}.png`;
// A 2×2 PNG.
const PNG = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAANHQEDasKb6QAAAABJRU5ErkJggg==',
  'base64');

let tokens = new Set(['gho_valid']);
let failures = [];
let truncations = 0;
let rateLimits = [];
const held = new Map(); // operation -> [resume functions] (null list: holding, nothing waiting)
let device = { interval: 1, expiresIn: 900, pending: 1, slowDown: 0, outcome: 'approve' };
let deviceIssued = null; // { code, interval, lastAnswer } of the code handed out last
let oauthErrors = [];

// MARK: The data

const users = {
  octocat: { id: 'U_octocat', databaseId: 1, login: 'octocat', name: 'The Octocat', email: 'octocat@example.com' },
  hubot: { id: 'U_hubot', databaseId: 2, login: 'hubot', name: 'Hubot', email: '' },
};
const actor = (login) => ({ login, avatarUrl: avatar(login), id: users[login]?.id ?? `U_${login}`, name: users[login]?.name ?? null });

const repositories = [
  { id: 'R_rocket', databaseId: 101, owner: 'acme', name: 'rocket', pushedAt: '2024-03-14T10:00:00Z', stars: 42, language: 'C++' },
  { id: 'R_hello', databaseId: 102, owner: 'octocat', name: 'hello-world', pushedAt: '2024-03-10T10:00:00Z', stars: 7, language: 'JavaScript' },
];
const repository = (repo) => ({
  id: repo.id,
  databaseId: repo.databaseId,
  name: repo.name,
  url: `https://github.com/${repo.owner}/${repo.name}`,
  pushedAt: repo.pushedAt,
  owner: { login: repo.owner, avatarUrl: avatar(repo.owner) },
  hasIssuesEnabled: true,
  isArchived: false,
  isDisabled: false,
  isLocked: false,
  mergeCommitAllowed: true,
  squashMergeAllowed: true,
  rebaseMergeAllowed: false,
  deleteBranchOnMerge: true,
  viewerHasStarred: repo.owner === 'acme',
  stargazerCount: repo.stars,
  primaryLanguage: { name: repo.language, color: '#f34b7d' },
});
const repoByName = (full) => repositories.find((r) => `${r.owner}/${r.name}` === full);

const now = Date.now();
const daysAgo = (n) => new Date(now - n * 86400000).toISOString().replace(/\.\d+Z$/, 'Z');

const pulls = [
  { id: 'PR_1', number: 1, repo: 'acme/rocket', title: 'Add the launch sequence', author: 'octocat', state: 'OPEN', draft: false, mergeable: 'MERGEABLE', review: 'APPROVED', head: 'launch', base: 'main', updated: daysAgo(1), assignees: [], mentions: [], reviewers: ['hubot'], body: 'Adds **the launch sequence**.\n\n- countdown\n- ignition' },
  { id: 'PR_2', number: 2, repo: 'acme/rocket', title: 'Fix the fuel gauge', author: 'hubot', state: 'OPEN', draft: true, mergeable: 'CONFLICTING', review: 'REVIEW_REQUIRED', head: 'fuel', base: 'main', updated: daysAgo(2), assignees: ['octocat'], mentions: [], reviewers: ['octocat'], body: '' },
  { id: 'PR_3', number: 3, repo: 'octocat/hello-world', title: 'Say hello in French', author: 'octocat', state: 'CLOSED', draft: false, mergeable: 'UNKNOWN', review: null, head: 'bonjour', base: 'main', updated: daysAgo(3), assignees: [], mentions: ['octocat'], reviewers: [], body: 'Bonjour !' },
];
const issues = [
  { id: 'I_10', number: 10, repo: 'acme/rocket', title: 'The countdown skips nine', author: 'octocat', state: 'OPEN', updated: daysAgo(1), assignees: ['octocat'], mentions: [], body: 'Seen on **every** launch.', labels: [{ id: 'L_bug', name: 'bug', color: 'd73a4a', isDefault: true }] },
  { id: 'I_11', number: 11, repo: 'octocat/hello-world', title: 'Greeting is too short', author: 'octocat', state: 'CLOSED', updated: daysAgo(5), assignees: [], mentions: [], body: '', labels: [] },
  { id: 'I_12', number: 12, repo: 'acme/rocket', title: 'Mention me in the docs', author: 'hubot', state: 'OPEN', updated: daysAgo(2), assignees: [], mentions: ['octocat'], body: 'cc @octocat', labels: [] },
];

const pullRequestNode = (pr) => ({
  __typename: 'PullRequest',
  id: pr.id,
  permalink: `https://github.com/${pr.repo}/pull/${pr.number}`,
  title: pr.title,
  number: pr.number,
  isDraft: pr.draft,
  merged: pr.state === 'MERGED',
  closed: pr.state !== 'OPEN',
  headRef: { id: `REF_${pr.head}`, name: pr.head, target: { oid: 'a'.repeat(40) } },
  headRefName: pr.head,
  baseRef: { id: `REF_${pr.base}`, name: pr.base, target: { oid: 'b'.repeat(40) } },
  baseRefName: pr.base,
  mergeable: pr.mergeable,
  author: actor(pr.author),
  createdAt: daysAgo(10),
  updatedAt: pr.updated,
  reviewDecision: pr.review,
  repository: repository(repoByName(pr.repo)),
  milestone: null,
  commits: { totalCount: 3 },
  reviewRequests: { totalCount: pr.reviewers.length, nodes: pr.reviewers.map((login) => ({ id: `RR_${login}`, requestedReviewer: { ...actor(login), avatarUrl: avatar(login) } })) },
  comments: { totalCount: 2 },
  reviewThreads: { totalCount: 1 },
  body: pr.body,
  additions: 120,
  deletions: 7,
  labels: { nodes: [] },
  reviews: { nodes: [{ id: 'REV_1', state: 'APPROVED', submittedAt: daysAgo(1), author: actor('hubot') }] },
});
const issueNode = (issue) => ({
  __typename: 'Issue',
  id: issue.id,
  url: `https://github.com/${issue.repo}/issues/${issue.number}`,
  title: issue.title,
  number: issue.number,
  state: issue.state,
  closed: issue.state === 'CLOSED',
  author: actor(issue.author),
  createdAt: daysAgo(20),
  updatedAt: issue.updated,
  repository: repository(repoByName(issue.repo)),
  milestone: null,
  comments: { totalCount: 1 },
  recentComments: { totalCount: 1, nodes: [{ id: 'C_1', body: 'Confirmed.', createdAt: daysAgo(1), author: actor('hubot') }] },
  labels: { nodes: issue.labels },
  assignees: { nodes: issue.assignees.map(actor) },
  body: issue.body,
});

// MARK: Search texts: the qualifiers the integration writes.

function matches(item, kind, text) {
  const words = text.split(/\s+/).filter(Boolean);
  for (const word of words) {
    const [key, ...rest] = word.split(':');
    const value = rest.join(':');
    if (!value) {
      if (!item.title.toLowerCase().includes(word.toLowerCase())) return false;
      continue;
    }
    switch (key) {
      case 'is':
        if ((value === 'pr' || value === 'issue') && value !== kind) return false;
        if (value === 'open' && item.state !== 'OPEN') return false;
        if (value === 'closed' && item.state === 'OPEN') return false;
        break;
      case 'author': if (item.author !== value) return false; break;
      case 'assignee': if (!item.assignees.includes(value)) return false; break;
      case 'mentions': if (!item.mentions.includes(value)) return false; break;
      case 'review-requested': if (!(item.reviewers || []).includes(value)) return false; break;
      case 'repo': if (item.repo !== value) return false; break;
      case 'updated': if (value.startsWith('>') && item.updated.slice(0, 10) <= value.slice(1)) return false; break;
      case 'archived': break;
      default: if (!item.title.toLowerCase().includes(word.toLowerCase())) return false;
    }
  }
  return true;
}

function search(kind, text, first) {
  const source = kind === 'pr' ? pulls : issues;
  const found = source.filter((item) => matches(item, kind, text)).sort((a, b) => b.updated.localeCompare(a.updated));
  return { issueCount: found.length, nodes: found.slice(0, first).map(kind === 'pr' ? pullRequestNode : issueNode) };
}

// MARK: GraphQL

class GraphQLFailure extends Error {}

function answerGraphQL(operation, v) {
  const prAliases = ['createdOpen', 'createdClosed', 'assignedOpen', 'assignedClosed', 'mentionedOpen', 'mentionedClosed', 'reviewRequestsOpen', 'reviewRequestsClosed'];
  const size = (alias) => (alias.endsWith('Closed') ? v.numberOfClosedItems : v.numberOfOpenItems);
  const find = (list, id) => {
    const item = list.find((x) => x.id === id);
    if (!item) throw new GraphQLFailure(`Could not resolve to a node with the global id of '${id}'`);
    return item;
  };
  switch (operation) {
    case 'User':
      return { viewer: { ...users.octocat, avatarUrl: avatar('octocat'), isViewer: true } };
    case 'SearchPullRequests':
      return Object.fromEntries(prAliases.map((a) => [a, search('pr', v[`${a}Query`], size(a))]));
    case 'SearchCreatedIssues':
      return Object.fromEntries(['createdOpen', 'createdClosed'].map((a) => [a, search('issue', v[`${a}Query`], size(a))]));
    case 'SearchOpenIssues':
      return Object.fromEntries(['assignedOpen', 'mentionedOpen'].map((a) => [a, search('issue', v[`${a}Query`], size(a))]));
    case 'FilterPullRequests':
      return { search: search('pr', v.query, v.numberOfItems) };
    case 'FilterIssues':
      return { search: search('issue', v.query, v.numberOfItems) };
    case 'SearchRepositories': {
      const words = v.query.split(/\s+/).filter(Boolean);
      // user: qualifiers are alternatives; the other words must all match.
      const owners = words.filter((w) => w.startsWith('user:')).map((w) => w.slice(5));
      const found = repositories.filter((r) => (owners.length === 0 || owners.includes(r.owner)) && words.every((w) => {
        if (w.includes(':')) return true;
        return r.name.includes(w);
      }));
      return { search: { repositoryCount: found.length, nodes: found.slice(0, v.numberOfItems).map(repository) } };
    }
    case 'SearchOrganizations':
      return { viewer: { organizations: { nodes: [{ id: 'O_acme', login: 'acme', name: 'Acme', url: 'https://github.com/acme', avatarUrl: avatar('acme') }] } } };
    case 'PullRequestDetails':
      return { node: pullRequestNode(find(pulls, v.nodeId)) };
    case 'IssueDetails':
      return { node: issueNode(find(issues, v.nodeId)) };
    case 'MergePullRequest': {
      const pr = find(pulls, v.nodeId);
      if (pr.state !== 'OPEN') throw new GraphQLFailure('Pull request is not open');
      if (pr.mergeable === 'CONFLICTING') throw new GraphQLFailure('Pull Request is not mergeable');
      pr.state = 'MERGED';
      pr.updated = daysAgo(0);
      return { mergePullRequest: { pullRequest: { id: pr.id, merged: true, closed: true, mergeable: 'UNKNOWN' } } };
    }
    case 'ClosePullRequest':
    case 'ReopenPullRequest': {
      const pr = find(pulls, v.nodeId);
      if (pr.state === 'MERGED') throw new GraphQLFailure('Merged pull requests cannot be changed');
      pr.state = operation === 'ClosePullRequest' ? 'CLOSED' : 'OPEN';
      pr.updated = daysAgo(0);
      const key = operation === 'ClosePullRequest' ? 'closePullRequest' : 'reopenPullRequest';
      return { [key]: { pullRequest: { id: pr.id, merged: false, closed: pr.state === 'CLOSED' } } };
    }
    case 'CloseIssue':
    case 'ReopenIssue': {
      const issue = find(issues, v.nodeId);
      issue.state = operation === 'CloseIssue' ? 'CLOSED' : 'OPEN';
      issue.updated = daysAgo(0);
      const key = operation === 'CloseIssue' ? 'closeIssue' : 'reopenIssue';
      return { [key]: { issue: { id: issue.id, state: issue.state, closed: issue.state === 'CLOSED' } } };
    }
    case 'DataForRepository': {
      const repo = repoByName(`${v.owner}/${v.name}`);
      if (!repo) throw new GraphQLFailure(`Could not resolve to a Repository with the name '${v.owner}/${v.name}'.`);
      const ref = (name) => ({ id: `REF_${name}`, name, target: { oid: 'c'.repeat(40) } });
      return {
        repository: {
          id: repo.id,
          defaultBranchRef: ref('main'),
          refs: { nodes: [ref('main'), ref('launch'), ref('fuel')] },
          collaborators: { nodes: [actor('octocat'), actor('hubot')] },
          labels: { nodes: [{ id: 'L_bug', name: 'bug', color: 'd73a4a', isDefault: true }] },
          projectsV2: { nodes: [{ id: 'PVT_1', number: 1, title: 'Roadmap' }] },
          milestones: { nodes: [{ id: 'M_1', title: 'v1.0', number: 1 }] },
          pullRequestTemplateUpperCase: null,
          pullRequestTemplateLowerCase: { text: '## What\n\n## Why\n' },
          issueTemplateUpperCase: null,
          issueTemplateLowerCase: null,
          issueTemplates: [{ about: 'Something is broken', body: '### Steps', name: 'Bug report', title: '[bug] ' }],
        },
      };
    }
    case 'CreateIssue': {
      const repo = repositories.find((r) => r.id === v.repositoryNodeId);
      if (!repo) throw new GraphQLFailure(`Could not resolve to a node with the global id of '${v.repositoryNodeId}'`);
      const issue = { id: `I_${100 + issues.length}`, number: 100 + issues.length, repo: `${repo.owner}/${repo.name}`, title: v.title, author: 'octocat', state: 'OPEN', updated: daysAgo(0), assignees: [], mentions: [], body: v.body, labels: [] };
      issues.push(issue);
      return { createIssue: { issue: issueNode(issue) } };
    }
    case 'CreatePullRequest': {
      const repo = repositories.find((r) => r.id === v.repositoryNodeId);
      if (!repo) throw new GraphQLFailure(`Could not resolve to a node with the global id of '${v.repositoryNodeId}'`);
      const pr = { id: `PR_${100 + pulls.length}`, number: 100 + pulls.length, repo: `${repo.owner}/${repo.name}`, title: v.title, author: 'octocat', state: 'OPEN', draft: v.isDraft, mergeable: 'UNKNOWN', review: null, head: v.headRefName, base: v.baseRefName, updated: daysAgo(0), assignees: [], mentions: [], reviewers: [], body: v.body };
      pulls.push(pr);
      return { createPullRequest: { pullRequest: { id: pr.id, permalink: `https://github.com/${pr.repo}/pull/${pr.number}`, number: pr.number, title: pr.title } } };
    }
    case 'InitPullRequest': {
      const pr = find(pulls, v.pullRequestId);
      return {
        requestReviews: { clientMutationId: null },
        addAssigneesToAssignable: { clientMutationId: null },
        addLabelsToLabelable: { clientMutationId: null },
        updatePullRequest: { pullRequest: pullRequestNode(pr) },
      };
    }
    default:
      throw new GraphQLFailure(`This stand-in does not answer ${operation}`);
  }
}

// MARK: REST

const runs = [
  { id: 9001, workflow_id: 77, node_id: 'WFR_9001', name: 'CI', head_branch: 'main', head_sha: 'd'.repeat(40), run_number: 12, status: 'completed', conclusion: 'success', created_at: daysAgo(1), updated_at: daysAgo(1), head_commit: { message: 'Add the launch sequence\n\nLong text' } },
  { id: 9002, workflow_id: 77, node_id: 'WFR_9002', name: 'CI', head_branch: 'fuel', head_sha: 'e'.repeat(40), run_number: 13, status: 'in_progress', conclusion: null, created_at: daysAgo(0), updated_at: daysAgo(0), head_commit: { message: 'Fix the fuel gauge' } },
];
const notifications = [
  { id: '5001', repo: 'acme/rocket', title: 'Add the launch sequence', type: 'PullRequest', path: 'pulls/1', reason: 'review_requested', unread: true, updated_at: daysAgo(0) },
  { id: '5002', repo: 'octocat/hello-world', title: 'Greeting is too short', type: 'Issue', path: 'issues/11', reason: 'author', unread: false, updated_at: daysAgo(4) },
];
const notificationJson = (n) => {
  const [owner, name] = n.repo.split('/');
  return {
    id: n.id,
    repository: { html_url: `https://github.com/${n.repo}`, name, full_name: n.repo, owner: { login: owner } },
    subject: { title: n.title, url: `${base()}/repos/${n.repo}/${n.path}`, latest_comment_url: null, type: n.type },
    reason: n.reason,
    unread: n.unread,
    updated_at: n.updated_at,
    last_read_at: null,
    url: `${base()}/notifications/threads/${n.id}`,
    subscription_url: `${base()}/notifications/threads/${n.id}/subscription`,
  };
};

function answerRest(method, path, query) {
  let m;
  const perPage = Number(query.get('per_page') || 30);
  if (method === 'GET' && path === '/notifications') return [200, notifications.slice(0, perPage).map(notificationJson)];
  if (method === 'GET' && (m = path.match(/^\/repos\/([^/]+)\/([^/]+)\/notifications$/)))
    return [200, notifications.filter((n) => n.repo === `${m[1]}/${m[2]}`).slice(0, perPage).map(notificationJson)];
  if ((m = path.match(/^\/repos\/([^/]+)\/([^/]+)\/actions\/runs(?:\/(\d+)(?:\/(rerun|cancel))?)?$/))) {
    const full = `${m[1]}/${m[2]}`;
    if (!repoByName(full)) return [404, { message: 'Not Found' }];
    if (method === 'GET' && !m[3]) {
      const list = runs.slice(0, perPage).map((r) => ({ ...r, html_url: `https://github.com/${full}/actions/runs/${r.id}`, repository: { full_name: full } }));
      return [200, { total_count: list.length, workflow_runs: list }];
    }
    const run = runs.find((r) => r.id === Number(m[3]));
    if (!run) return [404, { message: 'Not Found' }];
    if (method === 'POST' && m[4] === 'rerun') { run.status = 'queued'; run.conclusion = null; return [201, {}]; }
    if (method === 'POST' && m[4] === 'cancel') { run.status = 'completed'; run.conclusion = 'cancelled'; return [202, {}]; }
    if (method === 'DELETE' && !m[4]) { runs.splice(runs.indexOf(run), 1); return [204, null]; }
  }
  return [404, { message: 'Not Found', documentation_url: 'https://docs.github.com/rest' }];
}

// MARK: The server

function log(line) {
  process.stdout.write(`${JSON.stringify(line)}\n`);
}

function send(response, status, body, headers = {}) {
  let data = body === null ? '' : typeof body === 'string' ? body : JSON.stringify(body);
  if (truncations > 0 && typeof body === 'object' && body !== null) {
    truncations -= 1;
    data = data.slice(0, Math.floor(data.length / 2));
  }
  response.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8', 'Content-Length': Buffer.byteLength(data), ...headers });
  response.end(data);
}

function takeFailure(operation) {
  const at = failures.findIndex((f) => !f.operation || f.operation === operation);
  if (at < 0) return null;
  const failure = failures[at];
  failure.count -= 1;
  if (failure.count <= 0) failures.splice(at, 1);
  return failure;
}

async function handle(request, response, body) {
  const url = new URL(request.url, base());
  if (url.pathname.startsWith('/avatars/')) {
    response.writeHead(200, { 'Content-Type': 'image/png', 'Content-Length': PNG.length });
    response.end(PNG);
    return;
  }
  if (url.pathname === '/login/oauth/authorize') {
    log({ request: { method: request.method, path: url.pathname, query: Object.fromEntries(url.searchParams) } });
    const redirect = new URL(url.searchParams.get('redirect_uri'));
    redirect.searchParams.set('code', 'code-1');
    redirect.searchParams.set('state', url.searchParams.get('state') || '');
    response.writeHead(302, { Location: redirect.toString(), 'Content-Length': 0 });
    response.end();
    return;
  }
  if (url.pathname === '/login/device/code') {
    const form = new URLSearchParams(body);
    log({ request: { method: request.method, path: url.pathname, form: Object.fromEntries(form) } });
    if (request.method !== 'POST' || !form.get('client_id')) {
      send(response, 400, { error: 'invalid_request', error_description: 'The client_id is missing.' });
      return;
    }
    deviceIssued = { code: `dc_${Date.now()}`, interval: device.interval, lastAnswer: Date.now() };
    send(response, 200, { device_code: deviceIssued.code, user_code: 'WDJB-MJHT', verification_uri: `${base()}/login/device`,
      expires_in: device.expiresIn, interval: device.interval });
    return;
  }
  if (url.pathname === '/login/oauth/access_token' && new URLSearchParams(body).get('grant_type') === 'urn:ietf:params:oauth:grant-type:device_code') {
    const form = new URLSearchParams(body);
    const now = Date.now();
    const waited = deviceIssued ? now - deviceIssued.lastAnswer : null;
    // Timers may round; a poll more than 50 ms before its time is early.
    const early = deviceIssued !== null && waited < deviceIssued.interval * 1000 - 50;
    log({ request: { method: request.method, path: url.pathname, form: Object.fromEntries(form), waited, required: deviceIssued && deviceIssued.interval * 1000, early } });
    const answer = (json) => {
      if (deviceIssued) deviceIssued.lastAnswer = Date.now();
      send(response, 200, json);
    };
    if (!deviceIssued || form.get('device_code') !== deviceIssued.code) {
      answer({ error: 'incorrect_device_code', error_description: 'The device_code provided is not valid.' });
      return;
    }
    if (early) {
      deviceIssued.interval += 5;
      answer({ error: 'slow_down', error_description: 'Too many requests have been made in the same timeframe.', interval: deviceIssued.interval });
      return;
    }
    if (device.pending > 0) {
      device.pending -= 1;
      answer({ error: 'authorization_pending', error_description: 'The authorization request is still pending.' });
      return;
    }
    if (device.slowDown > 0) {
      device.slowDown -= 1;
      deviceIssued.interval += 5;
      answer({ error: 'slow_down', error_description: 'Too many requests have been made in the same timeframe.', interval: deviceIssued.interval });
      return;
    }
    if (device.outcome === 'access_denied') {
      answer({ error: 'access_denied', error_description: 'The authorization request was denied.' });
      return;
    }
    if (device.outcome === 'expired_token') {
      answer({ error: 'expired_token', error_description: 'The device_code has expired. Please start the sign-in again.' });
      return;
    }
    deviceIssued = null;
    answer({ access_token: 'gho_valid', token_type: 'bearer', scope: 'repo,read:org,notifications,workflow' });
    return;
  }
  if (url.pathname === '/login/oauth/access_token') {
    const form = new URLSearchParams(body);
    log({ request: { method: request.method, path: url.pathname, form: Object.fromEntries(form), authorization: request.headers.authorization || null } });
    if (oauthErrors.length) {
      // GitHub answers these with 200 unless told otherwise.
      const { status, ...error } = oauthErrors.shift();
      send(response, status || 200, error);
      return;
    }
    if (form.get('grant_type') === 'authorization_code' && form.get('code') !== 'code-1') {
      send(response, 400, { error: 'invalid_grant', error_description: 'The code passed is incorrect or expired.' });
      return;
    }
    if (form.get('grant_type') === 'refresh_token') {
      if (form.get('refresh_token') !== 'ghr_1') {
        send(response, 400, { error: 'invalid_grant', error_description: 'The refresh token passed is incorrect or expired.' });
        return;
      }
      tokens.add('gho_refreshed');
      send(response, 200, { access_token: 'gho_refreshed', refresh_token: 'ghr_2', expires_in: 28800, token_type: 'bearer', scope: 'repo' });
      return;
    }
    send(response, 200, { access_token: 'gho_valid', token_type: 'bearer', scope: 'repo,read:org,notifications,workflow' });
    return;
  }
  let operation = null;
  let variables = {};
  if (url.pathname === '/graphql') {
    if (request.method !== 'POST') {
      log({ request: { method: request.method, path: url.pathname, query: Object.fromEntries(url.searchParams), refused: true } });
      send(response, 405, { message: 'GraphQL queries and mutations are sent as a POST with a JSON body.' }, { Allow: 'POST' });
      return;
    }
    let document = '';
    try {
      const parsed = JSON.parse(body || '{}');
      document = parsed.query || '';
      variables = parsed.variables || {};
    } catch (error) {
      log({ request: { method: request.method, path: url.pathname, error: String(error) } });
      send(response, 400, { message: 'Problems parsing JSON' });
      return;
    }
    operation = (document.match(/^\s*(?:query|mutation)\s+(\w+)/) || [])[1] || null;
  }
  log({ request: { method: request.method, path: url.pathname, query: Object.fromEntries(url.searchParams), operation, variables, authorization: request.headers.authorization || null } });

  if (operation && held.has(operation)) {
    await new Promise((resume) => held.get(operation).push(resume));
  }
  const limit = rateLimits.length ? rateLimits[0] : null;
  if (limit) {
    limit.count -= 1;
    if (limit.count <= 0) rateLimits.shift();
    const reset = Math.floor(Date.now() / 1000) + limit.retryAfter;
    send(response, limit.status, { message: 'API rate limit exceeded for user.' },
      { 'Retry-After': String(limit.retryAfter), 'X-RateLimit-Limit': '5000', 'X-RateLimit-Remaining': '0', 'X-RateLimit-Reset': String(reset) });
    return;
  }
  const auth = request.headers.authorization || '';
  if (!auth.startsWith('Bearer ') || !tokens.has(auth.slice(7))) {
    send(response, 401, { message: 'Bad credentials', documentation_url: 'https://docs.github.com/rest' });
    return;
  }
  const failure = takeFailure(operation);
  if (failure) {
    response.writeHead(failure.status, { 'Content-Type': failure.contentType || 'text/html' });
    response.end(failure.body || '');
    return;
  }
  if (url.pathname === '/graphql') {
    try {
      send(response, 200, { data: answerGraphQL(operation, variables) });
    } catch (error) {
      if (!(error instanceof GraphQLFailure)) throw error;
      send(response, 200, { data: null, errors: [{ type: 'UNPROCESSABLE', path: [operation], locations: [{ line: 2, column: 3 }], message: error.message }] });
    }
    return;
  }
  const [status, json] = answerRest(request.method, url.pathname, url.searchParams);
  send(response, status, json);
}

const server = http.createServer((request, response) => {
  const chunks = [];
  request.on('data', (chunk) => chunks.push(chunk));
  request.on('end', () => {
    handle(request, response, Buffer.concat(chunks).toString('utf8')).catch((error) => {
      log({ error: String(error && error.stack) });
      if (!response.headersSent) send(response, 500, { message: String(error) });
    });
  });
});

let acks = 0;
readline.createInterface({ input: process.stdin }).on('line', (line) => {
  if (!line.trim()) return;
  try {
    const command = JSON.parse(line);
    if (command.fail) failures.push({ count: 1, ...command.fail });
    if (command.truncate) truncations += command.truncate.count || 1;
    if (command.rateLimit) rateLimits.push({ status: 429, retryAfter: 1, count: 1, ...command.rateLimit });
    if (command.tokens) tokens = new Set(command.tokens);
    if (command.hold) held.set(command.hold, []);
    if (command.device) device = { interval: 1, expiresIn: 900, pending: 1, slowDown: 0, outcome: 'approve', ...command.device };
    if (command.oauthError) oauthErrors.push(command.oauthError);
    for (let i = 0; i < (command.seedPulls || 0); i += 1) {
      const number = 1000 + pulls.length;
      const state = i % 3 === 0 ? 'CLOSED' : 'OPEN';
      pulls.push({ id: `PR_${number}`, number, repo: i % 2 ? 'acme/rocket' : 'octocat/hello-world', title: `Generated change number ${number}`, author: 'octocat', state, draft: i % 5 === 0, mergeable: 'MERGEABLE', review: 'REVIEW_REQUIRED', head: `branch-${number}`, base: 'main', updated: daysAgo(i % 10), assignees: i % 2 ? ['octocat'] : [], mentions: i % 4 ? [] : ['octocat'], reviewers: i % 3 ? ['octocat'] : [], body: 'Generated.' });
    }
    if (command.release) {
      const waiting = held.get(command.release) || [];
      held.delete(command.release);
      waiting.forEach((resume) => resume());
    }
  } catch (error) {
    log({ error: `bad command: ${line}` });
  }
  acks += 1;
  log({ ack: acks });
});
process.stdin.on('end', () => process.exit(0));

server.listen(0, '127.0.0.1', () => {
  port = server.address().port;
  log({ listening: port });
});
